// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#include "exportdialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace halcyra {

namespace {

QGroupBox *group(const QString &title, std::initializer_list<QWidget *> members)
{
    auto *box = new QGroupBox(title);
    auto *column = new QVBoxLayout(box);
    for (QWidget *w : members)
        column->addWidget(w);
    return box;
}

} // namespace

ExportDialog::ExportDialog(char localeSeparator, QWidget *parent)
    : QDialog(parent), t1_(new QRadioButton(QStringLiteral("T1 records"))),
      t2_(new QRadioButton(QStringLiteral("T2 records"))),
      both_(new QRadioButton(QStringLiteral("T1 and T2 records, a file each"))),
      time_(new QCheckBox(QStringLiteral("Frame time as the first column"))),
      locale_(new QRadioButton(QStringLiteral("As in the grid: \"%1\"").arg(QLatin1Char(localeSeparator)))),
      point_(new QRadioButton(QStringLiteral("Always \".\"")))
{
    setObjectName(QStringLiteral("ExportDialog"));
    setWindowTitle(QStringLiteral("Export Records"));
    t1_->setObjectName(QStringLiteral("t1"));
    t2_->setObjectName(QStringLiteral("t2"));
    both_->setObjectName(QStringLiteral("both"));
    time_->setObjectName(QStringLiteral("time"));
    locale_->setObjectName(QStringLiteral("locale"));
    point_->setObjectName(QStringLiteral("point"));
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("Choose File..."));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *page = new QVBoxLayout(this);
    page->addWidget(group(QStringLiteral("Records"), {t1_, t2_, both_}));
    page->addWidget(time_);
    QGroupBox *separator = group(QStringLiteral("Decimal separator"), {locale_, point_});
    separator->setEnabled(localeSeparator != '.'); // nothing to choose
    page->addWidget(separator);
    page->addWidget(buttons);
    setChoice(ExportChoice());
}

ExportChoice ExportDialog::choice() const
{
    ExportChoice c;
    c.kinds = t1_->isChecked() ? RecordKinds::T1 : t2_->isChecked() ? RecordKinds::T2 : RecordKinds::Both;
    c.withTime = time_->isChecked();
    c.localeSeparator = locale_->isChecked();
    return c;
}

void ExportDialog::setChoice(const ExportChoice &choice)
{
    (choice.kinds == RecordKinds::T1 ? t1_ : choice.kinds == RecordKinds::T2 ? t2_ : both_)->setChecked(true);
    time_->setChecked(choice.withTime);
    (choice.localeSeparator ? locale_ : point_)->setChecked(true);
}

} // namespace halcyra
