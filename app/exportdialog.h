// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#pragma once

#include "csvexport.h"

#include <QDialog>

class QCheckBox;
class QRadioButton;

namespace halcyra {

// What to export, asked before the file name: the kinds of records, the
// frame-time column and the decimal separator.
class ExportDialog : public QDialog {
    Q_OBJECT
public:
    // `localeSeparator` is the one the grid shows, offered beside ".".
    explicit ExportDialog(char localeSeparator, QWidget *parent = nullptr);

    ExportChoice choice() const;
    void setChoice(const ExportChoice &choice);

private:
    QRadioButton *t1_;
    QRadioButton *t2_;
    QRadioButton *both_;
    QCheckBox *time_;
    QRadioButton *locale_;
    QRadioButton *point_;
};

} // namespace halcyra
