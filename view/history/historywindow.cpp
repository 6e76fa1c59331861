// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#include "historywindow.h"

#include "historyfeed.h"
#include "historyplot.h"
#include "limittext.h"
#include "readoutmarker.h"
#include "settings.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QSplitter>
#include <QStandardPaths>
#include <QTimeZone>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace halcyra::history {

namespace {

constexpr int kStatsColumns = 6;

// "2 red, 5 yellow" of the records on show; empty for a field without limits.
QString outOfLimitsText(const LimitCounts &counts, bool limited, const QLocale &locale)
{
    if (!limited)
        return {};
    if (!counts.red && !counts.yellow)
        return QStringLiteral("none");
    QStringList parts;
    if (counts.red)
        parts << QStringLiteral("%1 red").arg(locale.toString(static_cast<qulonglong>(counts.red)));
    if (counts.yellow)
        parts << QStringLiteral("%1 yellow").arg(locale.toString(static_cast<qulonglong>(counts.yellow)));
    return parts.join(QStringLiteral(", "));
}

constexpr int kFieldRole = Qt::UserRole;

QDateTime utcDateTime(UtcMillis t)
{
    return QDateTime::fromMSecsSinceEpoch(t, Qt::UTC);
}

UtcMillis millisOf(const QDateTime &t)
{
    return t.toMSecsSinceEpoch();
}

QString latin1(std::string_view text)
{
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

// Where a file dialog starts: the folder last chosen for this kind of file, as
// Export Records remembers its own; else the user's Pictures or Documents
// folder; else home. Never the folder the program happened to start in.
QString startFolder(const QString &remembered, QStandardPaths::StandardLocation standard)
{
    QString folder = remembered;
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        folder = QStandardPaths::writableLocation(standard);
    if (!QFileInfo(folder).isDir())
        folder = QDir::homePath();
    return folder;
}

// The name of a file to write, asked for in startFolder(key); its folder is remembered.
QString askFileName(QWidget *parent, Settings &settings, const QString &title, const SettingKey<QString> &key,
                    QStandardPaths::StandardLocation standard, const QString &name, const QStringList &filters)
{
    QFileDialog dialog(parent, title, startFolder(settings.get(key), standard));
    dialog.setObjectName(QLatin1String(key.name));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilters(filters);
    dialog.selectFile(name);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    const QString path = dialog.selectedFiles().constFirst();
    settings.set(key, QFileInfo(path).absolutePath());
    return path;
}

QDateTimeEdit *utcEdit(const char *name, const QString &accessible)
{
    auto *edit = new QDateTimeEdit;
    edit->setObjectName(QLatin1String(name));
    edit->setAccessibleName(accessible);
    edit->setTimeSpec(Qt::UTC);
    edit->setDisplayFormat(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    edit->setCalendarPopup(true);
    return edit;
}

// Shift and a drag: the plot shows what the box held. Every range is read off
// the box before any is set, as a new time range refits the values.
void zoomInto(HistoryPlot &plot, const QRect &box)
{
    if (box.width() < 3 || box.height() < 3)
        return; // a click, not a box
    const auto rangeOf = [](QCPAxis *axis, int from, int to) {
        QCPRange range(axis->pixelToCoord(from), axis->pixelToCoord(to));
        range.normalize();
        return range;
    };
    const QCPRange time = rangeOf(plot.xAxis, box.left(), box.right());
    const QCPRange left = rangeOf(plot.yAxis, box.bottom(), box.top());
    const QCPRange right = rangeOf(plot.yAxis2, box.bottom(), box.top());
    plot.xAxis->setRange(time);
    plot.yAxis->setRange(left);
    plot.yAxis2->setRange(right);
    plot.replot();
}

} // namespace

HistoryWindow::HistoryWindow(const std::string &location, Settings &settings, QWidget *parent)
    : QWidget(parent, Qt::Window), location_(location), settings_(settings), reader_(new HistoryReader(location, this)),
      pollTimer_(new QTimer(this))
{
    setObjectName(QStringLiteral("HistoryWindow"));
    setWindowTitle(QStringLiteral("History"));
    setAttribute(Qt::WA_DeleteOnClose);
    connect(reader_, &HistoryReader::updated, this, &HistoryWindow::received);
    buildWidgets();
    resize(1000, 680);
    restoreSettings();
    pollArchive(); // opens it, or tells why not
    connect(pollTimer_, &QTimer::timeout, this, &HistoryWindow::pollArchive);
    // Twice a second, so that a frame shows within a second of its archiving.
    pollTimer_->start(500);
}

HistoryWindow::~HistoryWindow()
{
    // Also when the main window takes it along, which sends no close event.
    saveSettings();
}

void HistoryWindow::buildWidgets()
{
    buildFieldList();
    QHBoxLayout *bar = buildTopBar();
    buildPlot();
    buildStatsView();

    const QString keys = QStringLiteral(
        "Wheel or + and -: zoom time, with Ctrl the values. Shift and drag: zoom into a box. Drag or arrow keys: "
        "move, with Ctrl the values. Double click or Home: back to the range.");
    auto *hint = new QLabel(keys);
    hint->setObjectName(QStringLiteral("keysHint"));
    hint->setWordWrap(true);
    hint->setEnabled(false); // drawn in the quieter colour of a hint
    plot_->setAccessibleDescription(keys);
    rangeBox_->setToolTip(keys);

    noteLabel_ = new QLabel;
    noteLabel_->setObjectName(QStringLiteral("noteLabel"));
    noteLabel_->setWordWrap(true);
    noteLabel_->setAccessibleName(QStringLiteral("Note"));

    auto *right = new QWidget;
    auto *column = new QVBoxLayout(right);
    column->setContentsMargins(0, 0, 0, 0);
    column->addLayout(bar);
    column->addWidget(plot_, 1);
    column->addWidget(hint);
    column->addWidget(statsView_);
    column->addWidget(noteLabel_);

    auto *splitter = new QSplitter;
    splitter->addWidget(fieldList_);
    splitter->addWidget(right);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({230, 770});
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(splitter);
}

void HistoryWindow::buildFieldList()
{
    fieldList_ = new QTreeWidget;
    fieldList_->setObjectName(QStringLiteral("fieldList"));
    fieldList_->setAccessibleName(QStringLiteral("Fields"));
    fieldList_->setColumnCount(2);
    fieldList_->setHeaderLabels({QStringLiteral("Field"), QStringLiteral("Unit")});
    fieldList_->setRootIsDecorated(true);
    fieldList_->setUniformRowHeights(true);
    for (const FrameKind kind : {FrameKind::T1, FrameKind::T2}) {
        auto *group =
            new QTreeWidgetItem(fieldList_, {kind == FrameKind::T1 ? QStringLiteral("T1") : QStringLiteral("T2")});
        group->setFlags(Qt::ItemIsEnabled);
        for (const FieldInfo &f : FieldCatalogue) {
            if (storeOf(f.index) != kind)
                continue;
            auto *item = new QTreeWidgetItem(
                group, {QString::fromLatin1(f.caption.data(), qsizetype(f.caption.size())), plotUnit(f.index)});
            item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
            item->setCheckState(0, Qt::Unchecked);
            item->setData(0, kFieldRole, f.index);
            fieldItems_.push_back(item);
        }
        group->setExpanded(true);
    }
    fieldList_->header()->setStretchLastSection(false);
    fieldList_->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    fieldList_->resizeColumnToContents(0);
    fieldList_->resizeColumnToContents(1);
    fieldList_->setMinimumWidth(fieldList_->columnWidth(0) + fieldList_->columnWidth(1) + 32);
    connect(fieldList_, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem *item) { fieldItemChanged(item); });
}

QHBoxLayout *HistoryWindow::buildTopBar()
{
    rangeBox_ = new QComboBox;
    rangeBox_->setObjectName(QStringLiteral("rangeBox"));
    rangeBox_->setAccessibleName(QStringLiteral("Range"));
    for (const PresetInfo &p : kPresets) // so the box's index is the preset's
        rangeBox_->addItem(latin1(p.caption));
    connect(rangeBox_, &QComboBox::activated, this,
            [this](int index) { choosePreset(kPresets[static_cast<std::size_t>(index)].preset); });

    fromEdit_ = utcEdit("fromEdit", QStringLiteral("From (UTC)"));
    toEdit_ = utcEdit("toEdit", QStringLiteral("To (UTC)"));
    connect(fromEdit_, &QDateTimeEdit::editingFinished, this, &HistoryWindow::customRangeEdited);
    connect(toEdit_, &QDateTimeEdit::editingFinished, this, &HistoryWindow::customRangeEdited);

    archiveOrderBox_ = new QCheckBox(QStringLiteral("By archive order"));
    archiveOrderBox_->setObjectName(QStringLiteral("archiveOrderBox"));
    archiveOrderBox_->setToolTip(
        QStringLiteral("Plot the records in the order they were archived, also those without a receive time"));
    connect(archiveOrderBox_, &QCheckBox::toggled, this,
            [this](bool on) { setXAxis(on ? XAxis::ArchiveOrder : XAxis::ReceiveTime); });

    saveButton_ = new QPushButton(QStringLiteral("Save Plot..."));
    saveButton_->setObjectName(QStringLiteral("saveButton"));
    connect(saveButton_, &QPushButton::clicked, this, &HistoryWindow::savePlotClicked);
    exportButton_ = new QPushButton(QStringLiteral("Export Data..."));
    exportButton_->setObjectName(QStringLiteral("exportButton"));
    exportButton_->setEnabled(false); // until a field is on show
    connect(exportButton_, &QPushButton::clicked, this, &HistoryWindow::exportDataClicked);

    auto *bar = new QHBoxLayout;
    auto *rangeLabel = new QLabel(QStringLiteral("&Range:"));
    rangeLabel->setBuddy(rangeBox_);
    auto *fromLabel = new QLabel(QStringLiteral("&From:"));
    fromLabel->setBuddy(fromEdit_);
    auto *toLabel = new QLabel(QStringLiteral("&To:"));
    toLabel->setBuddy(toEdit_);
    bar->addWidget(rangeLabel);
    bar->addWidget(rangeBox_);
    bar->addWidget(fromLabel);
    bar->addWidget(fromEdit_);
    bar->addWidget(toLabel);
    bar->addWidget(toEdit_);
    bar->addWidget(new QLabel(QStringLiteral("UTC")));
    bar->addSpacing(12);
    bar->addWidget(archiveOrderBox_);
    bar->addStretch();
    bar->addWidget(saveButton_);
    bar->addWidget(exportButton_);
    return bar;
}

void HistoryWindow::buildPlot()
{
    plot_ = new HistoryPlot;
    plot_->setMinimumSize(320, 200);
    plot_->setInteractions(QCP::iRangeDrag | QCP::iRangeZoom);
    QCPAxisRect *rect = plot_->axisRect();
    rect->setRangeDrag(Qt::Horizontal);
    rect->setRangeDragAxes({plot_->xAxis}, {plot_->yAxis, plot_->yAxis2});
    rect->setRangeZoom(Qt::Horizontal);
    rect->setRangeZoomAxes({plot_->xAxis}, {plot_->yAxis, plot_->yAxis2});
    // A notch of the wheel zooms a fifth, as + and - do: a pass is a few notches away.
    rect->setRangeZoomFactor(0.8);
    readOut_ = new ReadOutMarker(plot_, reader_, [this] { return tracks(); });
    plot_->setFocusPolicy(Qt::StrongFocus);
    plot_->installEventFilter(this);
    connect(plot_->xAxis, qOverload<const QCPRange &>(&QCPAxis::rangeChanged), this, &HistoryWindow::spanChanged);
    connect(plot_, &QCustomPlot::mouseWheel, this, &HistoryWindow::mouseWheel);
    connect(plot_, &QCustomPlot::mousePress, this, [this](QMouseEvent *event) {
        // A drag moves along time; with Ctrl held it moves the values; with
        // Shift held it draws a box to zoom into.
        plot_->axisRect()->setRangeDrag(event->modifiers() & Qt::ControlModifier ? Qt::Vertical : Qt::Horizontal);
        plot_->setSelectionRectMode(event->modifiers() & Qt::ShiftModifier ? QCP::srmCustom : QCP::srmNone);
    });
    connect(plot_, &QCustomPlot::mouseDoubleClick, this, [this](QMouseEvent *) { resetView(); });
    connect(plot_->selectionRect(), &QCPSelectionRect::accepted, this,
            [this](const QRect &box, QMouseEvent *) { zoomInto(*plot_, box); });
}

void HistoryWindow::buildStatsView()
{
    statsView_ = new QTreeWidget;
    statsView_->setObjectName(QStringLiteral("statsView"));
    statsView_->setAccessibleName(QStringLiteral("Figures of the records on show"));
    statsView_->setRootIsDecorated(false);
    statsView_->setHeaderLabels({QStringLiteral("Field"), QStringLiteral("Count"), QStringLiteral("Minimum"),
                                 QStringLiteral("Maximum"), QStringLiteral("Mean"), QStringLiteral("Out of limits")});
    statsView_->setMaximumHeight(120);
    statsView_->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    statsView_->header()->setStretchLastSection(false);
    statsView_->headerItem()->setTextAlignment(0, Qt::AlignLeft | Qt::AlignVCenter);
    for (int c = 1; c < kStatsColumns; ++c)
        statsView_->headerItem()->setTextAlignment(c, Qt::AlignRight | Qt::AlignVCenter);
}

void HistoryWindow::restoreSettings()
{
    if (const QByteArray geometry = settings_.get(keys::historyGeometry); !geometry.isEmpty())
        restoreGeometry(geometry);
    if (const std::optional<Preset> preset = presetNamed(settings_.get(keys::historyRange).toStdString()))
        preset_ = *preset;
    custom_.from = settings_.get(keys::historyFrom);
    custom_.to = settings_.get(keys::historyTo);
    rangeBox_->setCurrentIndex(static_cast<int>(preset_));
    fromEdit_->setDateTime(utcDateTime(custom_.from));
    toEdit_->setDateTime(utcDateTime(custom_.to));
    showXAxis(settings_.get(keys::historyArchiveOrder) ? XAxis::ArchiveOrder : XAxis::ReceiveTime);
    const QStringList fields = settings_.get(keys::historyFields);
    for (const QString &name : fields) {
        const FieldLookup found = lookUpField(name.toStdString());
        if (found.field >= 0)
            setFieldShown(found.field, true);
    }
    if (shown_.empty())
        applyPreset();
}

void HistoryWindow::saveSettings() const
{
    settings_.set(keys::historyGeometry, saveGeometry());
    QStringList fields;
    for (const Shown &s : shown_)
        fields << QString::fromStdString(columnName(s.track.field));
    settings_.set(keys::historyFields, fields);
    settings_.set(keys::historyRange, latin1(presetInfo(preset_).name));
    settings_.set(keys::historyFrom, static_cast<qlonglong>(custom_.from));
    settings_.set(keys::historyTo, static_cast<qlonglong>(custom_.to));
    settings_.set(keys::historyArchiveOrder, xAxis() == XAxis::ArchiveOrder);
}

std::vector<int> HistoryWindow::shownFields() const
{
    std::vector<int> fields;
    for (const Shown &s : shown_)
        fields.push_back(s.track.field);
    return fields;
}

std::vector<const Track *> HistoryWindow::tracks() const
{
    std::vector<const Track *> all;
    for (const Shown &s : shown_)
        all.push_back(&s.track);
    return all;
}

void HistoryWindow::setFieldShown(int field, bool shown)
{
    for (QTreeWidgetItem *item : fieldItems_)
        if (item->data(0, kFieldRole).toInt() == field)
            item->setCheckState(0, shown ? Qt::Checked : Qt::Unchecked);
}

void HistoryWindow::fieldItemChanged(QTreeWidgetItem *item)
{
    const int field = item->data(0, kFieldRole).toInt();
    const bool checked = item->checkState(0) == Qt::Checked;
    const auto at = std::find_if(shown_.begin(), shown_.end(), [&](const Shown &s) { return s.track.field == field; });
    if (!checked) {
        if (at == shown_.end())
            return;
        shown_.erase(at);
        reader_->unwatch(field);
        if (!refusedField_)
            setNote({});
        rebuildLines();
        saveSettings();
        return;
    }
    if (at != shown_.end())
        return;

    std::vector<int> fields = shownFields();
    fields.push_back(field);
    if (assignAxes(fields).back() < 0) {
        QStringList units;
        for (const int f : shownFields()) {
            const QString unit = plotUnit(f).isEmpty() ? QStringLiteral("count") : plotUnit(f);
            if (!units.contains(unit))
                units << unit;
        }
        setNote(QStringLiteral("%1 needs a third value axis: the plot has two, for %2. Uncheck the fields of one "
                               "of them first.")
                    .arg(fieldLabel(field), units.join(QStringLiteral(" and "))));
        refusedField_ = field;
        const QSignalBlocker block(fieldList_);
        item->setCheckState(0, Qt::Unchecked);
        return;
    }
    Shown s;
    s.track.field = field; // its records come with the reader's answer
    reader_->watch(field);
    // The first colour that no field on show has.
    for (int slot = 0;; ++slot) {
        if (std::none_of(shown_.begin(), shown_.end(), [&](const Shown &o) { return o.colourSlot == slot; })) {
            s.colourSlot = slot;
            break;
        }
    }
    s.line = lineOf(s.track, xAxis());
    shown_.push_back(std::move(s));
    rebuildLines();
    saveSettings();
}

void HistoryWindow::rebuildLines()
{
    exportButton_->setEnabled(!shown_.empty());
    // The note on a field refused for want of an axis stays as long as it is true.
    if (refusedField_) {
        std::vector<int> fields = shownFields();
        fields.push_back(*refusedField_);
        if (assignAxes(fields).back() >= 0)
            setNote({});
    }
    std::vector<PlotLine> lines;
    const std::vector<int> axes = assignAxes(shownFields());
    for (std::size_t i = 0; i < shown_.size(); ++i)
        lines.push_back({shown_[i].track.field, axes[i], lineColour(shown_[i].colourSlot), &shown_[i].line});
    plot_->setLines(lines);
    readOut_->forget();
    readOut_->hide();
    if (exploring_) {
        plot_->fitValues();
        updateStats();
        plot_->replot();
    } else {
        applyPreset();
    }
}

void HistoryWindow::applyPreset()
{
    const std::vector<const Track *> all = tracks();
    const std::optional<Span> span = presetSpan(preset_, all, xAxis(), custom_);
    if (shown_.empty())
        plot_->setNote(QStringLiteral("Check fields on the left to plot them."));
    else if (!span)
        plot_->setNote(QStringLiteral("No archived records in this range."));
    else
        plot_->setNote({});
    settingSpan_ = true;
    if (span)
        plot_->setSpan(*span);
    else if (shown_.empty() && xAxis() == XAxis::ReceiveTime)
        plot_->setSpan({timeKey(utcNow()) - 86400, timeKey(utcNow())}); // rather than 1970
    else
        plot_->fitValues();
    settingSpan_ = false;
    exploring_ = false;
    updateStats();
    showRangeInEdits();
    plot_->replot();
}

void HistoryWindow::spanChanged()
{
    if (!settingSpan_) {
        exploring_ = true;
        if (!plot_->valuesMovedByUser())
            plot_->fitValues();
    }
    updateStats();
    showRangeInEdits();
}

void HistoryWindow::setLimits(const Limits &limits)
{
    limits_ = limits;
    plot_->setLimits(limits);
    plot_->replot();
    updateStats();
}

void HistoryWindow::updateStats()
{
    const Span span = plot_->span();
    const QLocale locale;
    statsView_->clear();
    for (const Shown &s : shown_) {
        const Stats stats = statsOf(s.line, span);
        const int field = s.track.field;
        auto *row = new QTreeWidgetItem(statsView_);
        row->setText(0, fieldLabel(field));
        row->setForeground(0, lineColour(s.colourSlot));
        row->setText(1, locale.toString(static_cast<qulonglong>(stats.count)));
        if (stats.count) {
            row->setText(2, valueText(field, stats.min, locale));
            row->setText(3, valueText(field, stats.max, locale));
            row->setText(4, valueText(field, stats.mean, locale));
        }
        row->setText(5, outOfLimitsText(limitCountsOf(s.line, span, limits_.field(field)),
                                        limits_.field(field).active(), locale));
        row->setToolTip(5, QString::fromStdString(limitsText(limits_.field(field))));
        for (int c = 1; c < kStatsColumns; ++c)
            row->setTextAlignment(c, Qt::AlignRight | Qt::AlignVCenter);
    }
}

QStringList HistoryWindow::statsRows() const
{
    QStringList rows;
    for (int i = 0; i < statsView_->topLevelItemCount(); ++i) {
        const QTreeWidgetItem *item = statsView_->topLevelItem(i);
        QStringList cells;
        for (int c = 0; c < kStatsColumns; ++c)
            cells << item->text(c);
        rows << cells.join(QLatin1Char('|'));
    }
    return rows;
}

void HistoryWindow::showRangeInEdits()
{
    if (xAxis() != XAxis::ReceiveTime)
        return;
    const Span span = plot_->span();
    const QSignalBlocker blockFrom(fromEdit_);
    const QSignalBlocker blockTo(toEdit_);
    const auto clampKey = [](double key) { return static_cast<UtcMillis>(std::clamp(key, -6e10, 2.5e11) * 1000); };
    fromEdit_->setDateTime(utcDateTime(clampKey(span.lower)));
    toEdit_->setDateTime(utcDateTime(clampKey(span.upper)));
    editsShow_ = {fromEdit_->dateTime(), toEdit_->dateTime()};
}

void HistoryWindow::customRangeEdited()
{
    // Leaving an edit unchanged leaves the range as it is.
    if (fromEdit_->dateTime() == editsShow_.first && toEdit_->dateTime() == editsShow_.second)
        return;
    const TimeSpan span{millisOf(fromEdit_->dateTime()), millisOf(toEdit_->dateTime())};
    if (span.from >= span.to) {
        setNote(QStringLiteral("The range must end after it begins."));
        return;
    }
    setCustomRange(span);
}

void HistoryWindow::setCustomRange(const TimeSpan &span)
{
    custom_ = span;
    choosePreset(Preset::Custom);
}

void HistoryWindow::choosePreset(Preset preset)
{
    if (preset == Preset::Custom && custom_.from >= custom_.to) {
        // A first "Custom" keeps the view on show.
        const Span span = plot_->span();
        custom_ = {static_cast<UtcMillis>(span.lower * 1000), static_cast<UtcMillis>(span.upper * 1000)};
    }
    preset_ = preset;
    rangeBox_->setCurrentIndex(static_cast<int>(preset));
    if (preset == Preset::Custom) {
        const QSignalBlocker blockFrom(fromEdit_);
        const QSignalBlocker blockTo(toEdit_);
        fromEdit_->setDateTime(utcDateTime(custom_.from));
        toEdit_->setDateTime(utcDateTime(custom_.to));
        editsShow_ = {fromEdit_->dateTime(), toEdit_->dateTime()};
    }
    setNote({});
    applyPreset();
    saveSettings();
}

void HistoryWindow::setXAxis(XAxis axis)
{
    if (axis == xAxis())
        return;
    showXAxis(axis);
    for (Shown &s : shown_)
        s.line = lineOf(s.track, axis);
    exploring_ = false;
    rebuildLines();
    saveSettings();
}

XAxis HistoryWindow::xAxis() const
{
    return plot_->xAxisMode();
}

void HistoryWindow::showXAxis(XAxis axis)
{
    const QSignalBlocker block(archiveOrderBox_);
    archiveOrderBox_->setChecked(axis == XAxis::ArchiveOrder);
    plot_->setXAxis(axis);
}

void HistoryWindow::resetView()
{
    exploring_ = false;
    applyPreset();
}

// ---- Loading: the reader answers in its own time

void HistoryWindow::pollArchive()
{
    showWaiting();
    reader_->poll();
}

bool HistoryWindow::askingArchive() const
{
    return reader_->unanswered() > 0;
}

void HistoryWindow::showWaiting()
{
    // Said once the archive keeps the window waiting for longer than a
    // frame would take to show.
    const auto waited = std::chrono::duration_cast<std::chrono::seconds>(reader_->waiting());
    if (waited.count() < 1)
        return;
    waitingNote_ = QStringLiteral("Waiting for the archive at %1: no answer for %2 s. The window goes on meanwhile.")
                       .arg(QString::fromStdString(archive::displayLocation(location_)))
                       .arg(waited.count());
    setNote(waitingNote_);
}

void HistoryWindow::received(const FeedUpdate &update)
{
    if (update.note)
        setNote(*update.note);
    else if (!waitingNote_.isEmpty() && note() == waitingNote_)
        setNote({});
    waitingNote_.clear();
    const auto shownOf = [this](int field) {
        return std::find_if(shown_.begin(), shown_.end(), [&](const Shown &s) { return s.track.field == field; });
    };
    for (const Track &track : update.loaded)
        if (const auto s = shownOf(track.field); s != shown_.end()) {
            s->track = track;
            s->line = lineOf(s->track, xAxis());
        }
    for (const auto &[field, newer] : update.added)
        if (const auto s = shownOf(field); s != shown_.end()) {
            addSamples(s->track, newer);
            s->line = lineOf(s->track, xAxis());
            plot_->refreshLine(static_cast<std::size_t>(s - shown_.begin()), s->line);
        }
    if (!update.loaded.empty()) {
        rebuildLines();
    } else if (!update.added.empty()) {
        readOut_->forget();
        if (exploring_) {
            updateStats();
            plot_->replot();
        } else {
            applyPreset(); // the presets follow the newest frame
        }
    }
}

// ---- end of loading

bool HistoryWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != plot_)
        return QWidget::eventFilter(watched, event);
    if (event->type() != QEvent::KeyPress)
        return false;
    // The keyboard does what the mouse does: arrows move, + and - zoom (with
    // Ctrl the values), Home shows the range again.
    const auto *key = static_cast<QKeyEvent *>(event);
    const bool values = key->modifiers() & Qt::ControlModifier;
    const auto zoom = [&](double factor) {
        if (values) {
            for (QCPAxis *axis : {plot_->yAxis, plot_->yAxis2})
                axis->scaleRange(factor);
        } else {
            plot_->xAxis->scaleRange(factor);
        }
    };
    switch (key->key()) {
    case Qt::Key_Left:
    case Qt::Key_Right:
        plot_->xAxis->moveRange((key->key() == Qt::Key_Left ? -0.1 : 0.1) * plot_->xAxis->range().size());
        break;
    case Qt::Key_Up:
    case Qt::Key_Down:
        for (QCPAxis *axis : {plot_->yAxis, plot_->yAxis2})
            axis->moveRange((key->key() == Qt::Key_Up ? 0.1 : -0.1) * axis->range().size());
        break;
    case Qt::Key_Plus:
    case Qt::Key_Equal:
        zoom(0.8);
        break;
    case Qt::Key_Minus:
        zoom(1.25);
        break;
    case Qt::Key_Home:
        resetView();
        return true;
    default:
        return false;
    }
    plot_->replot();
    return true;
}

void HistoryWindow::mouseWheel(QWheelEvent *event)
{
    plot_->axisRect()->setRangeZoom(event->modifiers() & Qt::ControlModifier ? Qt::Vertical : Qt::Horizontal);
}

QString HistoryWindow::readOutAt(const QPoint &pos)
{
    return readOut_->textAt(pos);
}

QString HistoryWindow::savePicture(const QString &path, QSize size)
{
    readOut_->hide();
    return savePlot(*plot_, path, size);
}

QString HistoryWindow::exportData(const QString &path)
{
    // Written by the reader's thread; the window answers meanwhile.
    QEventLoop loop;
    QString error;
    reader_->exportCsv(path, shownFields(), xAxis(), plot_->span(), [&](const QString &e) {
        error = e;
        loop.quit();
    });
    loop.exec();
    return error;
}

void HistoryWindow::savePlotClicked()
{
    QString path = askFileName(this, settings_, QStringLiteral("Save Plot"), keys::historyPlotFolder,
                               QStandardPaths::PicturesLocation, QStringLiteral("history.png"),
                               {QStringLiteral("PNG image (*.png)"), QStringLiteral("PDF document (*.pdf)"),
                                QStringLiteral("SVG drawing (*.svg)")});
    if (path.isEmpty())
        return;
    if (QFileInfo(path).suffix().isEmpty())
        path += QStringLiteral(".png");

    QDialog dialog(this);
    dialog.setWindowTitle(QStringLiteral("Size of the Picture"));
    auto *width = new QSpinBox;
    auto *height = new QSpinBox;
    width->setRange(100, 10000);
    height->setRange(100, 10000);
    width->setValue(plot_->width());
    height->setValue(plot_->height());
    width->setSuffix(QStringLiteral(" px"));
    height->setSuffix(QStringLiteral(" px"));
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    auto *form = new QFormLayout(&dialog);
    form->addRow(new QLabel(
        QStringLiteral("The plot as on screen is %1 × %2 pixels.").arg(plot_->width()).arg(plot_->height())));
    form->addRow(QStringLiteral("&Width:"), width);
    form->addRow(QStringLiteral("&Height:"), height);
    form->addRow(buttons);
    if (dialog.exec() != QDialog::Accepted)
        return;
    const QString error = savePicture(path, QSize(width->value(), height->value()));
    if (!error.isEmpty())
        QMessageBox::warning(this, QStringLiteral("Save Plot"), error);
    else
        setNote(QStringLiteral("Saved the plot to %1.").arg(path));
}

void HistoryWindow::exportDataClicked()
{
    QString path = askFileName(this, settings_, QStringLiteral("Export Data"), keys::historyExportFolder,
                               QStandardPaths::DocumentsLocation, QStringLiteral("history.csv"),
                               {QStringLiteral("CSV file (*.csv)")});
    if (path.isEmpty())
        return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const QString error = exportData(path);
    QApplication::restoreOverrideCursor();
    if (!error.isEmpty())
        QMessageBox::warning(this, QStringLiteral("Export Data"), error);
    else
        setNote(QStringLiteral("Exported the records on show to %1.").arg(path));
}

void HistoryWindow::setNote(const QString &text)
{
    refusedField_.reset();
    noteLabel_->setText(text);
    noteLabel_->setVisible(!text.isEmpty());
}

QString HistoryWindow::note() const
{
    return noteLabel_->text();
}

} // namespace halcyra::history
