// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

// What the window suites share: a main window on a program folder of its own,
// frames to paste, files to write and message boxes to answer.

#pragma once

#include "form1probe.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QMessageBox>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>
#include <initializer_list>
#include <memory>
#include <utility>

namespace halcyra::test {

// Frames of the right length whose every byte reads zero.
inline const QByteArray kT1 = "T1" + QByteArray(128, '0');
inline const QByteArray kT2 = "T2" + QByteArray(96, '0');

inline bool writeFile(const QString &path, const QByteArray &bytes, QIODevice::OpenMode mode = QIODevice::WriteOnly)
{
    QFile f(path);
    return f.open(mode) && f.write(bytes) == bytes.size();
}

inline QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Acts once on each modal dialog that opens while it lives, also one that
// opens later from a queued call.
class ModalAnswers {
public:
    explicit ModalAnswers(std::function<void(QWidget *)> act) : act_(std::move(act))
    {
        QObject::connect(&timer_, &QTimer::timeout, &timer_, [this] {
            if (QWidget *modal = QApplication::activeModalWidget(); modal && modal != last_)
                act_(last_ = modal);
        });
        timer_.start(10);
    }

private:
    std::function<void(QWidget *)> act_;
    QPointer<QWidget> last_;
    QTimer timer_;
};

// Answers every message box and keeps what the last one said.
class MessageBoxAnswer : ModalAnswers {
public:
    MessageBoxAnswer()
        : ModalAnswers([this](QWidget *modal) {
              if (auto *box = qobject_cast<QMessageBox *>(modal))
                  text = box->text(), box->buttons().front()->click();
          })
    {}
    QString text;
};

// Mixed into a test class after QObject; the class's cleanup() resets `window`.
class WindowFixture {
protected:
    std::unique_ptr<QTemporaryDir> folder;
    std::unique_ptr<Form1> window;

    QString file(const char *name) const { return folder->filePath(QLatin1String(name)); }
    Form1Probe ui() const { return Form1Probe(*window); }

    // A shown window on a new program folder that holds `confIni` as conf.ini
    // when it is given, and `files` beside it. The folder is the user's home
    // and configuration too, so that no test reads or changes the real ones.
    void open(const QByteArray &confIni = QByteArray(),
              std::initializer_list<std::pair<const char *, QByteArray>> files = {})
    {
        folder = std::make_unique<QTemporaryDir>();
        QVERIFY(folder->isValid());
        qputenv("HOME", QFile::encodeName(file("home")));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(file("home/.config")));
        if (!confIni.isNull())
            QVERIFY(writeFile(file("conf.ini"), confIni));
        for (const auto &[name, bytes] : files)
            QVERIFY(writeFile(file(name), bytes));
        window = std::make_unique<Form1>(folder->path());
        window->show();
    }

    void paste(const QString &log)
    {
        ui().Text2()->setPlainText(log);
        QApplication::processEvents();
    }
    void paste(const QByteArray &log) { paste(QString::fromLatin1(log)); }
};

} // namespace halcyra::test
