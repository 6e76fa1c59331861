// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

// File > Connect to TNC: a TCP TNC on 127.0.0.1 sends KISS; the window shows
// the frames as log text, decodes them and archives them with the station's
// name, says when the TNC goes away, and remembers the address.

#include "archive.h"
#include "ax25frame.h"
#include "kissdeframer.h"
#include "windowfixture.h"

#include <QAction>
#include <QComboBox>
#include <QInputDialog>
#include <QLabel>
#include <QTcpServer>
#include <QTcpSocket>

#include <set>

using namespace halcyra;
using namespace halcyra::test;

namespace {

QByteArray kissUi(const std::string &call, const QByteArray &info)
{
    const auto bytes =
        std::span(reinterpret_cast<const std::uint8_t *>(info.constData()), static_cast<std::size_t>(info.size()));
    const auto kiss = tnc::kissFrame(0, tnc::ax25UiFrame({"CQ", 0}, {call, 1}, {}, bytes));
    return QByteArray(reinterpret_cast<const char *>(kiss.data()), static_cast<qsizetype>(kiss.size()));
}

} // namespace

class TncWindowTest : public QObject, WindowFixture {
    Q_OBJECT

    QAction *action(const char *name) const { return window->findChild<QAction *>(QLatin1String(name)); }
    QString status() const { return ui().Label3()->text(); }

    struct Archived {
        std::uint64_t t1 = 0, t2 = 0;
        std::set<std::string> sources, stations;
    };
    Archived archived() const
    {
        Archived a;
        try {
            archive::OpenOptions o;
            o.readOnly = true;
            auto store = archive::openArchive(QFile::encodeName(file("archive.sqlite")).toStdString(), o);
            for (const FrameKind kind : {FrameKind::T1, FrameKind::T2})
                store->forEachRecord(kind, {}, [&](const archive::StoredRecord &r) {
                    ++(kind == FrameKind::T1 ? a.t1 : a.t2);
                    a.sources.emplace(r.source);
                    a.stations.emplace(r.station);
                    return true;
                });
        } catch (const archive::ArchiveError &) {
            // not created yet
        }
        return a;
    }

private slots:
    void cleanup() { window.reset(); }

    void framesShowDecodeAndGoIntoTheArchiveAsTheyArrive()
    {
        open("ARCHIVE = archive.sqlite\r\nSTATION = QTH\r\n");
        QTcpServer tnc;
        QVERIFY(tnc.listen(QHostAddress::LocalHost));
        const QString address = QStringLiteral("kiss://127.0.0.1:%1").arg(tnc.serverPort());
        QVERIFY(window->Connect_Tnc(address));
        QVERIFY(tnc.waitForNewConnection(10'000));
        QTcpSocket *link = tnc.nextPendingConnection();
        QTRY_VERIFY(status().startsWith(QStringLiteral("connected to ") + address));

        QByteArray raw("T1");
        for (int i = 0; i < 64; ++i)
            raw += static_cast<char>(i == 3 ? 0xC0 : i == 4 ? 0xDB : i);
        const QByteArray stream = kissUi("QZ7ZQ", kT1) + kissUi("N0CALL", kT1) + kissUi("QZ7ZQ", raw) +
                                  kissUi("QZ7ZQ", kT2) + kissUi("QZ7ZQ", "hello");
        // In two pieces, the cut inside a frame.
        link->write(stream.left(50));
        link->flush();
        QTest::qWait(100);
        link->write(stream.mid(50));
        link->flush();
        QTRY_COMPARE(ui().t1Store().count, 2);
        QTRY_COMPARE(ui().t2Store().count, 1);
        const std::string_view text = ui().logText();
        QVERIFY(text.find(" UTC\n") != std::string_view::npos);
        QVERIFY(text.find("N0CALL-1>CQ") != std::string_view::npos);
        QTRY_COMPARE(archived().t1, std::uint64_t{2});
        QTRY_COMPARE(archived().t2, std::uint64_t{1});
        QVERIFY(archived().stations == std::set<std::string>{"QTH"});
        QVERIFY(archived().sources == std::set<std::string>{address.toStdString()});

        // The TNC goes away: said, and tried again; Disconnect ends it.
        link->close();
        QTRY_VERIFY(status().startsWith(QStringLiteral("lost ") + address));
        QVERIFY(action("MnuDisconnectTnc")->isEnabled());
        action("MnuDisconnectTnc")->trigger();
        QVERIFY(!action("MnuDisconnectTnc")->isEnabled());
        QCOMPARE(status(), QStringLiteral("Disconnected from ") + address);
        QTest::qWait(1500); // beyond the first pause: no attempt comes
        QVERIFY(!tnc.hasPendingConnections());
        // The box, added to the archive, holds the TNC's frames, not a paste.
        action("MnuAddToArchive")->trigger();
        QTRY_COMPARE(status(), QStringLiteral("0 new frames archived, 3 were already there"));
        QVERIFY(archived().sources == std::set<std::string>{address.toStdString()});

        // The address box offers it first next time.
        QStringList offered;
        ModalAnswers answers([&](QWidget *dialog) {
            if (auto *input = qobject_cast<QInputDialog *>(dialog)) {
                offered = input->comboBoxItems();
                input->reject();
            }
        });
        action("MnuConnectTnc")->trigger();
        QCOMPARE(offered.value(0), address);
    }

    void anAddressThatCannotBeReadIsRefusedWithTheReason()
    {
        open();
        const MessageBoxAnswer answer;
        QVERIFY(!window->Connect_Tnc(QStringLiteral("kiss:/dev/ttyUSB0@9601")));
        QVERIFY(answer.text.contains(QStringLiteral("one of 1200")));
        QVERIFY(!action("MnuDisconnectTnc")->isEnabled());
    }
};

QTEST_MAIN(TncWindowTest)
#include "tnc_window_test.moc"
