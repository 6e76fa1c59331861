// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#pragma once

#include "limitwatch.h"
#include "parser.h"
#include "record.h"

#include <QMainWindow>
#include <QPointer>

#include <array>
#include <memory>
#include <string_view>

class QAction;
class QDropEvent;
class QGroupBox;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QRadioButton;
class QScrollBar;

namespace halcyra {

class ArchiveMenu;
class ExportFlow;
class Form2;
class HealthMenu;
class LogFollower;
class LogBox;
class RecentLogs;
class Settings;
class StatusLine;
class TncConnection;
class TrendChart;

// The main window. Its handlers and widgets keep the names the program has
// always used; the decoding, the texts and the chart data come from the
// libraries, the status line, the exports, the recent logs and the archive
// from collaborators the handlers call. Tests reach inside through Form1Probe.
class Form1 : public QMainWindow {
    Q_OBJECT
public:
    // `programFolder` holds conf.ini and receives the CSV file; empty means
    // the folder of the executable.
    explicit Form1(const QString &programFolder = QString(), QWidget *parent = nullptr);
    ~Form1() override;

    // Puts a log file into the log box; a refused file leaves the box as it
    // was and is reported in a message box. True when the file was taken.
    bool Open_Log(const QString &path);
    // Follows the opened log, as File > Follow Log does.
    void Follow_Log();
    // Shows, decodes and archives the frames of the TNC at `address`
    // (kiss://HOST[:PORT] or kiss:DEVICE@BAUD) as they arrive, as File >
    // Connect to TNC does; an address that cannot be read is reported in a
    // message box. True when connecting began.
    bool Connect_Tnc(const QString &address);
    void Disconnect_Tnc();

protected:
    void resizeEvent(QResizeEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    friend class Form1Probe;

    // The grid's last row; the frames' layout fixes it.
    static constexpr int LastFieldIndex = kLastFieldIndex;

    // Widgets, by the names they have always had.
    LogBox *Text2;         // packet log
    QPushButton *Command2; // "C": clear the log
    std::array<QRadioButton *, kFieldCount> Option1{};
    std::array<QLineEdit *, kFieldCount> Text1{};
    std::array<QLabel *, kFieldCount> Label1{};
    QLabel *Label4;    // frame time of the records on show
    QGroupBox *Frame8; // chart frame
    TrendChart *MSChart1;
    QPushButton *Command1; // "S": screenshot
    QLabel *Label3;        // status line
    QLabel *Label2;        // position label
    QScrollBar *HScroll1;  // record position
    QLabel *Picture2;      // hidden capture surface
    QLineEdit *Text3;      // length of the last T1 frame
    QLineEdit *Text4;      // raw bytes of the last T2 frame
    QLineEdit *Text5;
    QLineEdit *Text6;

    QMenu *MnuFile;
    QAction *MnuOpenLog;
    QMenu *MnuRecentLogs;
    QAction *MnuFollowLog;
    QAction *MnuConnectTnc;
    QAction *MnuDisconnectTnc;
    QAction *MnuExit;
    QMenu *MnuTLMFile;
    QAction *WriteCSVFile;
    QAction *ExportRecords;
    QAction *MnuInfo;

    // Handlers.
    void Form_Load();
    void Form_Resize();
    void Text2_Change();
    void HScroll1_Change();
    void Show_Data(int Rec);
    void Option1_Click(int Index);
    void Draw_Chart(int Index);
    void Command2_Click();
    void Command1_Click();
    void WriteCSVFile_Click();
    void ExportRecords_Click();
    void MnuOpenLog_Click();
    void Open_Recent_Log(const QString &path);
    void MnuFollowLog_Click();
    void MnuConnectTnc_Click();
    void MnuExit_Click();
    void MnuInfo_Click();
    void MnuHistory_Click();
    // What the followed file brings: appended text, or the whole file again.
    void Append_Log(std::string_view text);
    void Reload_Log(std::string_view text);
    void Follow_Stopped(const QString &reason);

    void buildWidgets();
    void buildLogBox(QWidget *client);
    void buildGrid(QWidget *client);
    void buildChart(QWidget *client);
    void buildStatusRow(QWidget *client);
    void buildFrameBoxes(QWidget *client);
    void buildMenus();
    void highlightField(int index);
    bool takeLogDrop(QDropEvent *event);
    bool onLastRecord() const;
    void followPosition(bool wasOnLast);
    void pageTo(int position);
    bool pageKey(QObject *receiver, QKeyEvent *event);

    QString programFolder_;
    QString ImagePath;
    bool imagePathSet_ = false; // by conf.ini, which then wins over the fallback folder
    QRect gridArea_;            // where the wheel pages
    int wheelAngle_ = 0;        // of a part notch, as touchpads send them
    std::unique_ptr<RecordStore> t1Store_;
    std::unique_ptr<RecordStore> t2Store_;
    FrameTimeText CurrentFrameTime;
    int highlighted_ = -1;
    LogFollower *follower_;
    TncConnection *tnc_;
    QPointer<Form2> about_;
    // What the windows remember, handed to each collaborator that remembers something.
    std::unique_ptr<Settings> settings_;
    std::unique_ptr<StatusLine> status_;
    std::unique_ptr<ExportFlow> export_;
    RecentLogs *recentLogs_ = nullptr;
    // Declared after the status line it reports to, so that it goes first.
    std::unique_ptr<ArchiveMenu> archive_;
    std::unique_ptr<LimitWatch> limits_;
    // What the next change of the log box comes from; an edit unless the
    // followed file is being taken in.
    LimitWatch::Change logChange_ = LimitWatch::Change::Edit;
    std::unique_ptr<HealthMenu> health_;
};

} // namespace halcyra
