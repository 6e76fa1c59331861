// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#include "archivemenu.h"

#include "config.h"
#include "historywindow.h"
#include "windowarchive.h"

#include <QAction>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <optional>
#include <utility>

namespace halcyra {

namespace {

QLabel *wrapped(const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setWordWrap(true);
    return label;
}

QString configuredNote(const std::string &configured)
{
    return (configured.empty() ? QStringLiteral("conf.ini sets no station (STATION is empty)")
                               : QStringLiteral("conf.ini sets STATION = ") + QString::fromStdString(configured)) +
           QStringLiteral(", which applies again at the next start.");
}

// Archive > Station...: the name is checked as it is typed, by the rule
// conf.ini's STATION obeys, and the note under it says what the archive
// gets. Returns the name taken, or nothing when the user cancelled.
std::optional<std::string> askStationName(QWidget *window, const std::string &current,
                                          const std::optional<std::string> &configured)
{
    QDialog dialog(window);
    dialog.setObjectName(QStringLiteral("StationDialog"));
    dialog.setWindowTitle(QStringLiteral("Station"));
    auto *layout = new QVBoxLayout(&dialog);
    layout->addWidget(wrapped(QStringLiteral("Your receiving station's name, kept with every frame you archive; "
                                             "leave it empty for none:"),
                              &dialog));
    auto *name = new QLineEdit(QString::fromStdString(current), &dialog);
    name->setObjectName(QStringLiteral("stationName"));
    name->setAccessibleName(QStringLiteral("Station name"));
    layout->addWidget(name);
    QLabel *note = wrapped(QString(), &dialog);
    note->setObjectName(QStringLiteral("stationNote"));
    layout->addWidget(note);
    if (configured) // a name chosen here would seem lost at the next start otherwise
        layout->addWidget(wrapped(configuredNote(*configured), &dialog));
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    layout->addWidget(buttons);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);

    archive::StationName checked;
    const auto check = [&] {
        checked = archive::stationName(name->text().toStdString());
        note->setText(checked.error.empty() ? stationNotice(checked.name) + QLatin1Char('.')
                                            : QString::fromStdString(checked.error));
        buttons->button(QDialogButtonBox::Ok)->setEnabled(checked.error.empty());
    };
    QObject::connect(name, &QLineEdit::textChanged, &dialog, check);
    check();
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return checked.name;
}

} // namespace

ArchiveMenu::ArchiveMenu(QMenuBar *bar, QAction *before, LogBox *logBox, LogFollower *follower, Settings &settings,
                         StatusLine &status, QWidget *window)
    : window_(window), settings_(settings),
      archive_(std::make_unique<WindowArchive>(logBox, follower, settings, status, window))
{
    MnuArchive = new QMenu(QStringLiteral("Archive"), window);
    MnuArchive->setObjectName(QStringLiteral("MnuArchive"));
    bar->insertMenu(before, MnuArchive);
    MnuAddToArchive =
        MnuArchive->addAction(QStringLiteral("Add Log to Archive"), archive_.get(), &WindowArchive::addLogBox);
    MnuAddToArchive->setObjectName(QStringLiteral("MnuAddToArchive"));
    MnuArchiveFollowed = MnuArchive->addAction(QStringLiteral("Archive Followed Frames"));
    MnuArchiveFollowed->setObjectName(QStringLiteral("MnuArchiveFollowed"));
    MnuArchiveFollowed->setCheckable(true);
    MnuArchiveFollowed->setChecked(archive_->archivesFollowed());
    QObject::connect(MnuArchiveFollowed, &QAction::toggled, archive_.get(), &WindowArchive::setArchiveFollowed);
    MnuStation = MnuArchive->addAction(QStringLiteral("Station..."), window, [this] { askStation(); });
    MnuStation->setObjectName(QStringLiteral("MnuStation"));
    MnuHistory = MnuArchive->addAction(QStringLiteral("History..."));
    MnuHistory->setObjectName(QStringLiteral("MnuHistory"));
    MnuHistory->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_H));
}

ArchiveMenu::~ArchiveMenu() = default;

void ArchiveMenu::askStation()
{
    if (auto name = askStationName(window_, archive_->station(), archive_->configuredStation()))
        archive_->setStation(std::move(*name));
}

void ArchiveMenu::showHistory()
{
    if (!history_) {
        history_ = new history::HistoryWindow(archive_->location(), settings_, window_);
        history_->setLimits(limits_);
    }
    history_->show();
    history_->raise();
    history_->activateWindow();
}

void ArchiveMenu::setLimits(const Limits &limits)
{
    limits_ = limits;
    if (history_)
        history_->setLimits(limits);
}

} // namespace halcyra
