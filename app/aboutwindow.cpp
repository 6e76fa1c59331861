// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#include "aboutwindow.h"

#include "artwork.h"
#include "fonts.h"
#include "layout.h"
#include "version.h"

#include <QLabel>
#include <QPixmap>

namespace halcyra {

using layout::twips;

namespace {

QLabel *label(QWidget *parent, const char *name, const QRect &geometry, const QString &text, bool white = true)
{
    auto *l = new QLabel(text, parent);
    l->setObjectName(QLatin1String(name));
    l->setGeometry(geometry);
    if (white) {
        l->setAutoFillBackground(true);
        QPalette pal = l->palette();
        pal.setColor(QPalette::Window, Qt::white);
        pal.setColor(QPalette::WindowText, Qt::black);
        l->setPalette(pal);
    }
    return l;
}

} // namespace

Form2::Form2(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("Info"));
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(twips(0, 0, 8265, 2610).size());
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(224, 224, 224));
    setPalette(pal);
    setFont(fonts::sans(8.25, false));

    Label1 = label(this, "Label1", twips(120, 120, 7215, 375), QStringLiteral("Halcyra Telemetry Decoder"), false);
    Label1->setFont(fonts::sans(13.5, true));
    QPalette green = Label1->palette();
    green.setColor(QPalette::WindowText, QColor(0, 64, 0));
    Label1->setPalette(green);

    Label3 = label(this, "Label3", twips(120, 600, 3975, 255), QStringLiteral("Halcyra ground software, 2014-2026"));
    Label8 = label(this, "Label8", twips(120, 960, 735, 255), QStringLiteral("QZ7ZQ"));
    Label8->setFont(fonts::sans(8.25, true));
    Label2 = label(this, "Label2", twips(120, 1320, 2295, 375), QString());
    Label2->setAlignment(Qt::AlignCenter);
    Label6 = label(this, "Label6", twips(120, 1920, 855, 255), QStringLiteral("Homepage:"));
    Label4 = label(this, "Label4", twips(1080, 1920, 1815, 255), QStringLiteral("halcyra.example.org"));
    Label7 = label(this, "Label7", twips(120, 2160, 615, 255), QStringLiteral("e-mail:"));
    Label5 = label(this, "Label5", twips(1080, 2160, 1815, 255), QStringLiteral("qz7zq@example.org"));
    for (QLabel *link : {Label4, Label5}) {
        QFont f = fonts::sans(8.25, false);
        f.setUnderline(true);
        link->setFont(f);
        QPalette blue = link->palette();
        blue.setColor(QPalette::WindowText, QColor(0, 0, 255));
        link->setPalette(blue);
        link->setTextInteractionFlags(Qt::TextSelectableByMouse);
    }
    Label4->setAccessibleName(QStringLiteral("Homepage"));
    Label5->setAccessibleName(QStringLiteral("E-mail"));

    Image1 = label(this, "Image1", twips(4440, 0, 3840, 2550), QString(), false);
    Image1->setPixmap(QPixmap::fromImage(drawAboutPicture(Image1->width(), Image1->height())));
    Image1->setAccessibleName(QStringLiteral("Picture of the Halcyra cubesat above the Earth"));

    Form_Load();
}

void Form2::Form_Load()
{
    Label2->setText(QStringLiteral("Version %1 - 22 July 2014").arg(QLatin1String(kVersion)));
    // The window's layout has no room for more: what the program does now
    // (the archive, History, --plot) is told on hovering the title and to
    // screen readers, as --version tells it.
    Label1->setToolTip(QString::fromLatin1(kVersionNote));
    Label1->setAccessibleDescription(QString::fromLatin1(kVersionNote));
}

} // namespace halcyra
