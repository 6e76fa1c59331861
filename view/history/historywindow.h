// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#pragma once

#include "fieldlimits.h"
#include "historymodel.h"

#include <QDateTime>
#include <QPointer>
#include <QWidget>

#include <memory>
#include <optional>
#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QDateTimeEdit;
class QHBoxLayout;
class QLabel;
class QMouseEvent;
class QPushButton;
class QTimer;
class QTreeWidget;
class QTreeWidgetItem;
class QWheelEvent;

namespace halcyra {
class Settings;
}

namespace halcyra::history {

class HistoryPlot;
class HistoryReader;
class ReadOutMarker;
struct FeedUpdate;

// The archive's fields over time: any number of fields, a range to choose,
// zoom and pan, the figures of the records on show, the point under the
// pointer, pictures and CSV files. Frames that reach the archive, from this
// program or another, appear within a second.
class HistoryWindow : public QWidget {
    Q_OBJECT
public:
    // Reads the archive at `location`; one that does not exist yet is looked
    // for again every second. Closing the window deletes it.
    // What it shows and where its files went are remembered in `settings`.
    HistoryWindow(const std::string &location, Settings &settings, QWidget *parent = nullptr);
    ~HistoryWindow() override;

    // For tests and the timing tool.
    HistoryPlot *plot() const { return plot_; }
    // Checks or unchecks a field as a click in the list does.
    void setFieldShown(int field, bool shown);
    std::vector<int> shownFields() const;
    void choosePreset(Preset preset);
    void setCustomRange(const TimeSpan &span);
    void setXAxis(XAxis axis);
    // Asks the archive for new frames now, as the timer does twice a second;
    // they are shown once it answers, which it does in a thread of its own.
    void pollArchive();
    // Whether a question to the archive waits for its answer.
    bool askingArchive() const;
    // The figures under the plot as shown: a row per field, the columns
    // field, count, minimum, maximum, mean and out of limits.
    QStringList statsRows() const;
    QString note() const;
    // The read-out of the point nearest to `pos` (in the plot's pixels), or an empty text.
    QString readOutAt(const QPoint &pos);
    // The limits the plot draws as bands and the figures count frames beyond.
    void setLimits(const Limits &limits);
    // Writes what the two buttons write; an empty text or why not.
    QString savePicture(const QString &path, QSize size);
    QString exportData(const QString &path);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    Limits limits_;
    struct Shown {
        Track track;
        Line line;
        int colourSlot = 0;
    };

    void buildWidgets();
    void buildFieldList();
    QHBoxLayout *buildTopBar();
    void buildPlot();
    void buildStatsView();
    void restoreSettings();
    void saveSettings() const;
    void fieldItemChanged(QTreeWidgetItem *item);
    void rebuildLines();
    void applyPreset();
    void spanChanged();
    void updateStats();
    void showRangeInEdits();
    void customRangeEdited();
    void mouseWheel(QWheelEvent *event);
    void resetView();
    // The x-axis mode is kept by the plot alone; showXAxis sets it there and in the check box.
    XAxis xAxis() const;
    void showXAxis(XAxis axis);
    void savePlotClicked();
    void exportDataClicked();
    void setNote(const QString &text);
    std::vector<const Track *> tracks() const;
    void received(const FeedUpdate &update);
    void showWaiting();

    std::string location_;
    Settings &settings_;
    HistoryReader *reader_;
    QString waitingNote_; // the note on the archive not answering, while on show
    std::vector<Shown> shown_;
    Preset preset_ = Preset::LastPass;
    TimeSpan custom_{};
    // The user zoomed or panned: the view stays where they put it.
    bool exploring_ = false;
    bool settingSpan_ = false;
    std::optional<int> refusedField_;           // the field the note says needs a third value axis
    std::pair<QDateTime, QDateTime> editsShow_; // what the From and To edits were given

    QTreeWidget *fieldList_;
    QComboBox *rangeBox_;
    QDateTimeEdit *fromEdit_;
    QDateTimeEdit *toEdit_;
    QCheckBox *archiveOrderBox_;
    QPushButton *saveButton_;
    QPushButton *exportButton_;
    HistoryPlot *plot_;
    ReadOutMarker *readOut_;
    QTreeWidget *statsView_;
    QLabel *noteLabel_;
    QTimer *pollTimer_;
    std::vector<QTreeWidgetItem *> fieldItems_;
};

} // namespace halcyra::history
