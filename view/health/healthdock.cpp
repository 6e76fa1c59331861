// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#include "healthdock.h"

#include "archive.h"
#include "archiveday.h"
#include "archivethread.h"
#include "healthdelegate.h"
#include "healthtable.h"
#include "location.h"

#include <QCloseEvent>
#include <QHeaderView>
#include <QLabel>
#include <QScrollBar>
#include <QStyle>
#include <QTableView>
#include <QVBoxLayout>

namespace halcyra::health {

namespace {

// Far longer than a local archive takes; a server that takes longer is gone.
constexpr std::chrono::seconds kArchiveBusy{5};
// A station of the network archives frames every few seconds; reading the
// day again for each would keep the archive busy for little.
constexpr std::chrono::seconds kArchiveReadEvery{60};
constexpr int kReaderPatienceMs = 200;

QString kindAge(const HealthModel &model, FrameKind kind, UtcMillis now)
{
    const QString name = kind == FrameKind::T1 ? QStringLiteral("T1") : QStringLiteral("T2");
    if (!model.seen(kind))
        return name + QStringLiteral(" none yet");
    const std::optional<UtcMillis> received = model.newestReceived(kind);
    if (!received)
        return name + QStringLiteral(" at an unknown time");
    return name + QLatin1Char(' ') + QString::fromStdString(elapsedText(now - *received)) + QStringLiteral(" ago");
}

} // namespace

// What the thread's jobs keep between them: the archive, open, and its mark
// when its day was last read.
struct HealthDock::ArchiveReader {
    std::string location;
    std::unique_ptr<archive::Archive> archive;
    std::optional<std::uint64_t> mark;
};

HealthDock::HealthDock(LogSource source, QWidget *parent)
    : QDockWidget(QStringLiteral("Health"), parent), source_(std::move(source)), feed_(model_),
      table_(new HealthTable(model_, this)), thread_(std::make_unique<ArchiveThread>(kReaderPatienceMs))
{
    setObjectName(QStringLiteral("HealthDock"));
    auto *body = new QWidget(this);
    auto *layout = new QVBoxLayout(body);
    layout->setContentsMargins(4, 4, 4, 4);
    ages_ = new QLabel(body);
    ages_->setObjectName(QStringLiteral("healthAges"));
    ages_->setAccessibleName(QStringLiteral("Newest frames"));
    layout->addWidget(ages_);
    note_ = new QLabel(body);
    note_->setObjectName(QStringLiteral("healthNote"));
    note_->setWordWrap(true);
    note_->setVisible(false);
    layout->addWidget(note_);
    view_ = new QTableView(body);
    view_->setObjectName(QStringLiteral("healthTable"));
    view_->setAccessibleName(QStringLiteral("Health of every field"));
    view_->setModel(table_);
    view_->setItemDelegate(new HealthDelegate(view_));
    view_->verticalHeader()->setVisible(false);
    view_->verticalHeader()->setDefaultSectionSize(view_->fontMetrics().height() + 4);
    view_->setSelectionBehavior(QAbstractItemView::SelectRows);
    view_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view_->setWordWrap(false);
    layout->addWidget(view_);
    setWidget(body);
    sizeColumns();
    connect(&tick_, &QTimer::timeout, this, &HealthDock::tick);
    tick_.start(1000);
    showAges(utcNow());
}

HealthDock::~HealthDock() = default;

void HealthDock::setArchive(std::string location)
{
    location_ = std::move(location);
    reader_ = std::make_shared<ArchiveReader>();
    reader_->location = location_;
    asking_ = false; // the answer about another archive no longer counts
    model_.setArchiveDay(DayExtremes());
    archiveNote_.clear();
    if (isVisible())
        readArchive(true);
}

void HealthDock::setLimits(const Limits &limits, const QString &note)
{
    model_.setLimits(limits);
    limitsNote_ = note;
    table_->rowsChanged(ChangedRows::all());
    showNote();
}

void HealthDock::logChanged(std::size_t changedFrom)
{
    if (!isVisible()) {
        stale_ = true;
        return;
    }
    const UtcMillis now = utcNow();
    const std::optional<UtcMillis> following = source_.following() ? std::optional<UtcMillis>(now) : std::nullopt;
    ChangedRows changed = model_.advance(now);
    changed |= feed_.update(source_.text(), changedFrom, following);
    table_->rowsChanged(changed);
    showAges(now);
}

void HealthDock::showEvent(QShowEvent *event)
{
    QDockWidget::showEvent(event);
    if (stale_) {
        stale_ = false;
        feed_.forget();
        logChanged(0);
    }
    readArchive(true);
    tick();
}

void HealthDock::closeEvent(QCloseEvent *event)
{
    QDockWidget::closeEvent(event);
    if (event->isAccepted())
        emit closedByUser();
}

void HealthDock::tick()
{
    if (!isVisible())
        return;
    const UtcMillis now = utcNow();
    table_->rowsChanged(model_.advance(now));
    showAges(now);
    readArchive(false);
}

// Fixed widths, measured once: sizing the columns to what they hold would
// measure every cell at every frame. A time is wider than its column and
// shows whole in its tool tip.
void HealthDock::sizeColumns()
{
    const QFontMetrics metrics = view_->fontMetrics();
    const int pad = 2 * view_->style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 12;
    int caption = 0;
    for (int field = 0; field < kFieldCount; ++field)
        caption = std::max(
            caption, metrics.horizontalAdvance(table_->data(table_->index(field, 0), Qt::DisplayRole).toString()));
    QHeaderView *header = view_->horizontalHeader();
    header->resizeSection(HealthTable::Field, caption + pad);
    const int number = metrics.horizontalAdvance(QStringLiteral("-00000.0000"));
    const int state = std::max(metrics.horizontalAdvance(HealthTable::stateText(LimitState::Yellow, true)),
                               metrics.horizontalAdvance(HealthTable::stateText(LimitState::Green, false)));
    for (int column = HealthTable::Newest; column < HealthTable::ColumnCount; ++column) {
        const int title =
            metrics.horizontalAdvance(table_->headerData(column, Qt::Horizontal, Qt::DisplayRole).toString());
        header->resizeSection(column, std::max(title, column == HealthTable::State ? state : number) + pad);
    }
    // Room for every column beside the window's own fixed layout.
    view_->setMinimumWidth(header->length() + view_->verticalScrollBar()->sizeHint().width() + 2 * view_->frameWidth());
}

void HealthDock::showAges(UtcMillis now)
{
    ages_->setText(QStringLiteral("Newest frame: ") + kindAge(model_, FrameKind::T1, now) + QStringLiteral(", ") +
                   kindAge(model_, FrameKind::T2, now));
}

void HealthDock::showNote()
{
    QStringList notes;
    if (!limitsNote_.isEmpty())
        notes << limitsNote_;
    if (!archiveNote_.isEmpty())
        notes << archiveNote_;
    note_->setText(notes.join(QLatin1Char('\n')));
    note_->setVisible(!notes.isEmpty());
}

void HealthDock::readArchive(bool always)
{
    const auto now = std::chrono::steady_clock::now();
    if (location_.empty() || asking_ || (!always && now - asked_ < kArchiveReadEvery))
        return;
    asking_ = true;
    asked_ = now;
    struct Answer {
        std::shared_ptr<DayExtremes> day; // null: unchanged
        QString note;
    };
    auto job = [reader = reader_, always] {
        Answer answer;
        try {
            if (!reader->archive)
                reader->archive = archive::openArchiveToRead(reader->location, kArchiveBusy);
            const std::uint64_t mark = reader->archive->changeMark();
            if (always || reader->mark != mark) {
                answer.day = std::make_shared<DayExtremes>(archiveDay(*reader->archive, utcNow()));
                reader->mark = mark;
            }
        } catch (const archive::ArchiveError &e) {
            reader->archive.reset();
            reader->mark.reset();
            answer.note =
                e.reason() == archive::ArchiveError::Reason::Missing
                    ? QStringLiteral("No archive yet at %1: the last 24 hours are the window's frames.")
                          .arg(QString::fromStdString(archive::displayLocation(reader->location)))
                    : QStringLiteral("The last 24 hours are the window's frames: ") + QString::fromStdString(e.what());
        }
        return answer;
    };
    thread_->post(std::move(job), [this, reader = reader_](Answer answer) {
        if (reader != reader_)
            return; // about an archive no longer shown
        asking_ = false;
        if (answer.day)
            table_->rowsChanged(model_.setArchiveDay(*answer.day));
        archiveNote_ = answer.note;
        showNote();
    });
}

} // namespace halcyra::health
