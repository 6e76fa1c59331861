// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#pragma once

#include <QWidget>

class QLabel;

namespace halcyra {

// The About window: a top-level window of its own, so that it stays open,
// and keeps the program running, after the main window has been closed.
class Form2 : public QWidget {
    Q_OBJECT
public:
    explicit Form2(QWidget *parent = nullptr);

    QLabel *Label1; // product name
    QLabel *Label2; // version line
    QLabel *Label3; // maker and years
    QLabel *Label4; // homepage
    QLabel *Label5; // e-mail
    QLabel *Label6;
    QLabel *Label7;
    QLabel *Label8; // callsign
    QLabel *Image1;

private:
    void Form_Load();
};

} // namespace halcyra
