// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#pragma once

#include "aboutwindow.h"
#include "exportflow.h"
#include "healthmenu.h"
#include "logbox.h"
#include "mainwindow.h"

#include <cstddef>

namespace halcyra {

// What the window tests, the window benchmark and the picture tool reach
// inside the main window: the widgets they act on or read, by their names in
// the window, a few handlers and the state of the run. The program itself
// only builds the window and opens logs.
class Form1Probe {
public:
    explicit Form1Probe(Form1 &window) : w_(window) {}

    LogBox *Text2() const { return w_.Text2; }
    QLineEdit *Text1(int index) const { return w_.Text1[at(index)]; }
    QRadioButton *Option1(int index) const { return w_.Option1[at(index)]; }
    QScrollBar *HScroll1() const { return w_.HScroll1; }
    QLabel *Label2() const { return w_.Label2; }
    QLabel *Label3() const { return w_.Label3; }
    QLabel *Label4() const { return w_.Label4; }
    QGroupBox *Frame8() const { return w_.Frame8; }
    TrendChart *MSChart1() const { return w_.MSChart1; }
    QPushButton *Command1() const { return w_.Command1; }
    QPushButton *Command2() const { return w_.Command2; }
    QLineEdit *Text3() const { return w_.Text3; }
    QLineEdit *Text4() const { return w_.Text4; }
    QLineEdit *Text6() const { return w_.Text6; }
    QMenu *MnuFile() const { return w_.MnuFile; }
    QAction *MnuOpenLog() const { return w_.MnuOpenLog; }
    QMenu *MnuRecentLogs() const { return w_.MnuRecentLogs; }
    QAction *MnuFollowLog() const { return w_.MnuFollowLog; }
    QAction *MnuExit() const { return w_.MnuExit; }
    QAction *WriteCSVFile() const { return w_.WriteCSVFile; }
    QAction *ExportRecords() const { return w_.ExportRecords; }
    QAction *MnuInfo() const { return w_.MnuInfo; }

    void Option1_Click(int Index) const { w_.Option1_Click(Index); }
    void Show_Data(int Rec) const { w_.Show_Data(Rec); }
    void Command1_Click() const { w_.Command1_Click(); }
    void Export_Records(const QString &chosen, const ExportChoice &choice) const
    {
        w_.export_->Export_Records(chosen, choice);
    }

    std::string_view logText() const { return w_.Text2->parserText(); }
    const RecordStore &t1Store() const { return *w_.t1Store_; }
    const RecordStore &t2Store() const { return *w_.t2Store_; }
    const QString &imagePath() const { return w_.ImagePath; }
    Form2 *aboutWindow() const { return w_.about_; }
    LogFollower *logFollower() const { return w_.follower_; }
    HealthMenu &health() const { return *w_.health_; }

private:
    static std::size_t at(int index) { return static_cast<std::size_t>(index); }

    Form1 &w_;
};

} // namespace halcyra
