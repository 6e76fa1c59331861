// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#include "mainwindow.h"

#include "aboutwindow.h"
#include "archivemenu.h"
#include "artwork.h"
#include "config.h"
#include "exportflow.h"
#include "fields.h"
#include "fonts.h"
#include "healthmenu.h"
#include "layout.h"
#include "limitmarks.h"
#include "logbox.h"
#include "logfile.h"
#include "parsenotice.h"
#include "recentlogs.h"
#include "recordview.h"
#include "screenshot.h"
#include "settings.h"
#include "statusline.h"
#include "tncaddress.h"
#include "tncconnection.h"
#include "trendchart.h"
#include "userfolders.h"
#include "windowarchive.h"

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCoreApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QGuiApplication>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTimer>
#include <QWheelEvent>

#include <algorithm>
#include <functional>
#include <utility>

namespace halcyra {

using layout::twips;

namespace {

constexpr QColor kHighlight(255, 255, 192);
constexpr char kTitle[] = "Halcyra Telemetry Decoder [QZ7ZQ]";

template <typename W> W *place(W *widget, const char *name, const QRect &geometry)
{
    widget->setObjectName(QLatin1String(name));
    widget->setGeometry(geometry);
    return widget;
}

QString latin1(std::string_view text)
{
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

QString accessibleFieldName(const FieldInfo &f)
{
    const QString caption = latin1(f.caption);
    return f.unit.empty() ? caption : caption + QStringLiteral(" [") + latin1(f.unit) + QLatin1Char(']');
}

// Sees every key press of the application before the widget it is meant for.
class KeyWatch : public QObject {
public:
    using Take = std::function<bool(QObject *, QKeyEvent *)>;
    KeyWatch(QObject *parent, Take take) : QObject(parent), take_(std::move(take)) {}

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        return event->type() == QEvent::KeyPress && take_(watched, static_cast<QKeyEvent *>(event));
    }

private:
    Take take_;
};

} // namespace

Form1::Form1(const QString &programFolder, QWidget *parent)
    : QMainWindow(parent),
      programFolder_(programFolder.isEmpty() ? QCoreApplication::applicationDirPath() : programFolder),
      t1Store_(std::make_unique<RecordStore>()), t2Store_(std::make_unique<RecordStore>()),
      follower_(new LogFollower(this)), tnc_(new TncConnection(this)), settings_(std::make_unique<Settings>())
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QLatin1String(kTitle));
    setWindowIcon(QIcon(QPixmap::fromImage(drawWindowIcon(64))));
    buildWidgets();
    status_ = std::make_unique<StatusLine>(Label3);
    limits_ = std::make_unique<LimitWatch>(LimitMarks(Text1, Option1), *status_, *t1Store_, *t2Store_);
    export_ = std::make_unique<ExportFlow>(*t1Store_, *t2Store_, *settings_, *status_, this);
    buildMenus();
    archive_ = std::make_unique<ArchiveMenu>(menuBar(), MnuInfo, Text2, follower_, *settings_, *status_, this);
    connect(archive_->historyAction(), &QAction::triggered, this, &Form1::MnuHistory_Click);
    health_ = std::make_unique<HealthMenu>(this, MnuInfo, Text2, follower_, *settings_);
    // Each handler tells the archive what it did once it has done it.
    connect(follower_, &LogFollower::appended, this, &Form1::Append_Log);
    connect(follower_, &LogFollower::reloaded, this, &Form1::Reload_Log);
    connect(follower_, &LogFollower::stopped, this, &Form1::Follow_Stopped);
    // A TNC's frames arrive as a followed log's text does.
    connect(tnc_, &TncConnection::received, this, &Form1::Append_Log);
    connect(tnc_, &TncConnection::said, this,
            [this](const QString &message) { status_->set(StatusLine::Source::Follow, message); });
    setAcceptDrops(true);
    // The value boxes, the buttons and the scroll bar each take these keys
    // for themselves otherwise; only the log box keeps them.
    QCoreApplication::instance()->installEventFilter(
        new KeyWatch(this, [this](QObject *to, QKeyEvent *e) { return pageKey(to, e); }));
    Form_Load();
    resize(layout::twips(0, 0, layout::kClientWidth, layout::kClientHeight).width(),
           layout::twips(0, 0, layout::kClientWidth, layout::kClientHeight).height() + menuBar()->sizeHint().height());
}

Form1::~Form1()
{
    // An About window left open outlives us on purpose; it deletes itself when closed.
}

void Form1::buildWidgets()
{
    auto *client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    client->setMinimumSize(twips(0, 0, layout::kClientWidth, layout::kClientHeight).size());
    setCentralWidget(client);
    client->setFont(fonts::sans(8.25, false));
    buildLogBox(client);
    buildGrid(client);
    buildChart(client);
    buildStatusRow(client);
    buildFrameBoxes(client);
}

void Form1::buildLogBox(QWidget *client)
{
    Text2 = place(new LogBox(client), "Text2", twips(120, 0, 10455, 1935));
    Text2->setFont(fonts::fixed(8.25));
    Text2->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Text2->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Text2->setAccessibleName(QStringLiteral("Packet log"));
    Text2->setPlaceholderText(QStringLiteral("Paste the packet log of your receiver here"));
    connect(Text2, &LogBox::textChanged, this, &Form1::Text2_Change);
    // A log file dropped on the box opens like one dropped on the window;
    // dropped text is still inserted as text.
    Text2->viewport()->installEventFilter(this);

    Command2 = place(new QPushButton(QStringLiteral("C"), client), "Command2", twips(10320, 1800, 255, 195));
    Command2->setFont(fonts::fixed(6));
    Command2->setAccessibleName(QStringLiteral("Clear log"));
    Command2->setToolTip(QStringLiteral("Clear the log"));
    connect(Command2, &QPushButton::clicked, this, &Form1::Command2_Click);
}

void Form1::buildGrid(QWidget *client)
{
    auto *group = new QButtonGroup(this);
    for (const FieldInfo &f : FieldCatalogue) {
        const auto i = static_cast<std::size_t>(f.index);
        const layout::RowGeometry row = layout::rowGeometry(f.index);
        Option1[i] = place(new QRadioButton(client), "Option1", row.option);
        Option1[i]->setObjectName(QStringLiteral("Option1_%1").arg(f.index));
        group->addButton(Option1[i], f.index);
        Text1[i] = place(new QLineEdit(client), "Text1", row.value);
        Text1[i]->setObjectName(QStringLiteral("Text1_%1").arg(f.index));
        Text1[i]->setReadOnly(true);
        Text1[i]->setTextMargins(0, 0, 0, 0);
        Text1[i]->setAccessibleName(accessibleFieldName(f));
        QPalette black = Text1[i]->palette();
        black.setColor(QPalette::Text, Qt::black);
        Text1[i]->setPalette(black);
        Label1[i] = place(new QLabel(client), "Label1", row.unit);
        Label1[i]->setObjectName(QStringLiteral("Label1_%1").arg(f.index));
        gridArea_ |= row.option | row.value | row.unit;
    }
    client->installEventFilter(this); // the wheel over the grid
    connect(group, &QButtonGroup::idClicked, this, &Form1::Option1_Click);
}

void Form1::buildChart(QWidget *client)
{
    Label4 = place(new QLabel(client), "Label4", twips(6600, 6000, 3735, 255));
    Label4->setFont(fonts::sans(8.25, true));
    Label4->setAccessibleName(QStringLiteral("Frame time"));

    Frame8 = place(new QGroupBox(QStringLiteral("Graph"), client), "Frame8", twips(120, 6480, 10455, 4935));
    Frame8->setFont(fonts::sans(8.25, true));
    QPalette grey = Frame8->palette();
    grey.setColor(QPalette::WindowText, QColor(128, 128, 128));
    Frame8->setPalette(grey);
    Frame8->setAccessibleName(QStringLiteral("Chart"));
    MSChart1 = place(new TrendChart(Frame8), "MSChart1", twips(120, 240, 10215, 4575));
    MSChart1->setFont(client->font());
    MSChart1->setAccessibleName(QStringLiteral("Trend chart"));
}

void Form1::buildStatusRow(QWidget *client)
{
    Command1 = place(new QPushButton(QStringLiteral("S"), client), "Command1", twips(120, 11520, 495, 255));
    Command1->setAccessibleName(QStringLiteral("Save screenshot"));
    Command1->setToolTip(QStringLiteral("Save a screenshot"));
    connect(Command1, &QPushButton::clicked, this, &Form1::Command1_Click);

    Label3 = place(new QLabel(client), "Label3", twips(720, 11520, 7335, 255));
    Label3->setAccessibleName(QStringLiteral("Status"));
    Label2 = place(new QLabel(client), "Label2", twips(8160, 11520, 975, 255));
    Label2->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    Label2->setAccessibleName(QStringLiteral("Position"));

    HScroll1 = place(new QScrollBar(Qt::Horizontal, client), "HScroll1", twips(9240, 11520, 1335, 255));
    HScroll1->setRange(1, 1);
    HScroll1->setValue(1);
    // Pages on release of the thumb and on clicks, not while dragging.
    HScroll1->setTracking(false);
    HScroll1->setAccessibleName(QStringLiteral("Record"));
    connect(HScroll1, &QScrollBar::valueChanged, this, &Form1::HScroll1_Change);
}

// The hidden capture surface, and the boxes of the last frames' length and bytes.
void Form1::buildFrameBoxes(QWidget *client)
{
    Picture2 = place(new QLabel(client), "Picture2", twips(11640, 120, 615, 495));

    Text3 = place(new QLineEdit(QStringLiteral("Text3"), client), "Text3", twips(12600, 6480, 3135, 375));
    Text3->setAccessibleName(QStringLiteral("Frame length"));
    Text4 = place(new QLineEdit(QStringLiteral("Text4"), client), "Text4", twips(12600, 6960, 2175, 285));
    Text5 = place(new QLineEdit(QStringLiteral("Text5"), client), "Text5", twips(12600, 7200, 2175, 285));
    Text6 = place(new QLineEdit(QStringLiteral("Text6"), client), "Text6", twips(12600, 7440, 2175, 285));
    Text4->setAccessibleName(latin1(layout::kRawBoxNames[0]));
    Text5->setAccessibleName(latin1(layout::kRawBoxNames[1]));
    Text6->setAccessibleName(latin1(layout::kRawBoxNames[2]));
}

void Form1::buildMenus()
{
    MnuFile = menuBar()->addMenu(QStringLiteral("File"));
    MnuFile->setObjectName(QStringLiteral("MnuFile"));
    MnuOpenLog = MnuFile->addAction(QStringLiteral("Open Log..."), this, &Form1::MnuOpenLog_Click);
    MnuOpenLog->setObjectName(QStringLiteral("MnuOpenLog"));
    MnuOpenLog->setShortcut(QKeySequence::Open);
    MnuRecentLogs = MnuFile->addMenu(QStringLiteral("Recent Logs"));
    MnuRecentLogs->setObjectName(QStringLiteral("MnuRecentLogs"));
    recentLogs_ = new RecentLogs(
        MnuRecentLogs, *settings_, [this](const QString &path) { Open_Recent_Log(path); }, this);
    // Filled as the File menu opens, so that it holds what other windows opened too.
    connect(MnuFile, &QMenu::aboutToShow, recentLogs_, &RecentLogs::fill);
    recentLogs_->fill();
    MnuFollowLog = MnuFile->addAction(QStringLiteral("Follow Log"), this, &Form1::MnuFollowLog_Click);
    MnuFollowLog->setObjectName(QStringLiteral("MnuFollowLog"));
    MnuFollowLog->setCheckable(true);
    MnuFollowLog->setEnabled(false); // until a log was opened
    MnuConnectTnc = MnuFile->addAction(QStringLiteral("Connect to TNC..."), this, &Form1::MnuConnectTnc_Click);
    MnuConnectTnc->setObjectName(QStringLiteral("MnuConnectTnc"));
    MnuDisconnectTnc = MnuFile->addAction(QStringLiteral("Disconnect"), this, &Form1::Disconnect_Tnc);
    MnuDisconnectTnc->setObjectName(QStringLiteral("MnuDisconnectTnc"));
    MnuDisconnectTnc->setEnabled(false); // until connected
    MnuFile->addSeparator();
    MnuExit = MnuFile->addAction(QStringLiteral("Exit"), this, &Form1::MnuExit_Click);
    MnuExit->setObjectName(QStringLiteral("MnuExit"));
    MnuExit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));

    MnuTLMFile = menuBar()->addMenu(QStringLiteral("TLM File"));
    MnuTLMFile->setObjectName(QStringLiteral("MnuTLMFile"));
    WriteCSVFile = MnuTLMFile->addAction(QStringLiteral("Write CSV File"), this, &Form1::WriteCSVFile_Click);
    WriteCSVFile->setObjectName(QStringLiteral("WriteCSVFile"));
    ExportRecords = MnuTLMFile->addAction(QStringLiteral("Export Records..."), this, &Form1::ExportRecords_Click);
    ExportRecords->setObjectName(QStringLiteral("ExportRecords"));

    MnuInfo = menuBar()->addAction(QStringLiteral("Info"), this, &Form1::MnuInfo_Click);
    MnuInfo->setObjectName(QStringLiteral("MnuInfo"));
}

void Form1::Form_Load()
{
    const QString folder = QDir::toNativeSeparators(programFolder_) + QDir::separator();
    ImagePath = folder;

    const StartupConfig config = readConfigFile(QFile::encodeName(configFilePath(programFolder_)).toStdString());
    imagePathSet_ = config.imagePath.has_value();
    if (config.imagePath)
        ImagePath = QString::fromLocal8Bit(config.imagePath->data(), static_cast<qsizetype>(config.imagePath->size()));
    if (config.screenshotButton)
        Command1->setVisible(*config.screenshotButton);
    archive_->archive().setLocation(
        windowArchiveLocation(config.archive, QFile::encodeName(programFolder_).toStdString()));
    archive_->archive().configureStation(config.station);
    limits_->load(config.limits, QFile::encodeName(QFileInfo(configFilePath(programFolder_)).path()).toStdString());
    archive_->setLimits(limits_->limits());
    health_->configure(limits_->limits(), limits_->refusal(), archive_->archive().location());

    Picture2->setVisible(false);

    for (const FieldInfo &f : FieldCatalogue)
        Option1[static_cast<std::size_t>(f.index)]->setText(latin1(f.caption));
    for (const FieldInfo &f : FieldCatalogue)
        Label1[static_cast<std::size_t>(f.index)]->setText(latin1(f.unit));
}

void Form1::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    Form_Resize();
}

void Form1::Form_Resize()
{
    // The capture surface always covers the whole client area.
    if (QWidget *client = centralWidget())
        Picture2->setGeometry(client->rect());
}

void Form1::Text2_Change()
{
    // Up to date: the document announces each change before it reports it.
    const std::string_view text = Text2->parserText();
    const LimitWatch::Change change = std::exchange(logChange_, LimitWatch::Change::Edit);
    const CycleResult r = RunParseCycle(text, CurrentFrameTime, *t1Store_, *t2Store_);
    // The frame-time label is not written here: Show_Data below always
    // replaces it with the time of the records on show.
    if (r.frameLength)
        Text3->setText(QString::number(*r.frameLength));
    if (r.rawHex) {
        Text4->setText(latin1(r.rawHex->text(0)));
        Text5->setText(latin1(r.rawHex->text(1)));
        Text6->setText(latin1(r.rawHex->text(2)));
    }
    status_->hold(StatusLine::Source::Parse, parseNotice(r, text, follower_->isFollowing()));

    // Both stores can be paged, so the bar runs to the larger count.
    const int records = std::max(r.t1Count, r.t2Count);
    HScroll1->setEnabled(true);
    Label2->setText(QStringLiteral("#%1 / %2").arg(HScroll1->value()).arg(records));
    HScroll1->setMaximum(std::max(records, 1));
    limits_->logChanged(change, text, r.lines);
    // Frames of the followed file leave the user's field on the chart; an
    // edit of the text shows field 1 again.
    const int plotted = change == LimitWatch::Change::Edit || highlighted_ < 0 ? 1 : highlighted_;
    highlightField(plotted);
    Show_Data(HScroll1->value());
    Draw_Chart(plotted);
}

void Form1::HScroll1_Change()
{
    const int v = HScroll1->value();
    Label2->setText(QStringLiteral("%1/%2").arg(v).arg(HScroll1->maximum()));
    Show_Data(v);
}

void Form1::Show_Data(int Rec)
{
    const RecordTexts texts = recordTexts(*t1Store_, *t2Store_, Rec, QLocale::system());
    for (int i = 0; i <= LastFieldIndex; ++i) {
        QLineEdit *box = Text1[static_cast<std::size_t>(i)];
        box->setText(texts.values[static_cast<std::size_t>(i)]);
        box->setCursorPosition(0); // a text wider than its box shows its beginning
    }
    Label4->setText(texts.frameTime);
    limits_->showRecord(Rec);
}

void Form1::highlightField(int index)
{
    if (!Option1[static_cast<std::size_t>(index)]->isChecked())
        Option1[static_cast<std::size_t>(index)]->setChecked(true);
    if (highlighted_ == index)
        return;
    if (highlighted_ >= 0) {
        QLineEdit *previous = Text1[static_cast<std::size_t>(highlighted_)];
        QPalette normal = previous->palette();
        normal.setColor(QPalette::Base, QGuiApplication::palette().color(QPalette::Base));
        previous->setPalette(normal);
    }
    QPalette pal = Text1[static_cast<std::size_t>(index)]->palette();
    pal.setColor(QPalette::Base, kHighlight);
    Text1[static_cast<std::size_t>(index)]->setPalette(pal);
    highlighted_ = index;
}

void Form1::Option1_Click(int Index)
{
    highlightField(Index);
    Draw_Chart(Index);
}

void Form1::Draw_Chart(int Index)
{
    const auto i = static_cast<std::size_t>(Index);
    Frame8->setTitle(Option1[i]->text() + QStringLiteral("  [ ") + Label1[i]->text() + QStringLiteral(" ]"));
    const RecordStore &store = storeOf(Index) == FrameKind::T1 ? *t1Store_ : *t2Store_;
    MSChart1->setLimits(limits_->field(Index));
    // An empty store empties the chart: it must never show another field or a vanished log.
    if (store.count < 1)
        MSChart1->clearData();
    else
        MSChart1->showData(chartData(store, Index));
}

void Form1::Command2_Click()
{
    Text2->clear();
}

void Form1::Command1_Click()
{
    // The client area as it shows now, at its pixel size, into the capture surface.
    const QImage capture = centralWidget()->grab(QRect(QPoint(0, 0), Picture2->size())).toImage();
    if (!imagePathSet_)
        ImagePath = QDir::toNativeSeparators(outputFolder(programFolder_)) + QDir::separator();
    const QString path = ImagePath + QLatin1String(kScreenshotPrefix);
    if (const QString error = saveBitmap(capture, path); !error.isEmpty()) {
        status_->set(StatusLine::Source::Screenshot, path + QStringLiteral(" could not be saved: ") + error);
        return;
    }
    status_->set(StatusLine::Source::Screenshot, path + QStringLiteral(" saved"));
    if (!startConverter(path)) {
        QMessageBox box(QMessageBox::Information, QStringLiteral("Error"), QStringLiteral("nconvert.exe not found"),
                        QMessageBox::Ok, this);
        box.exec();
        return;
    }
    status_->set(StatusLine::Source::Screenshot, path + QStringLiteral(" converted and saved"));
}

void Form1::WriteCSVFile_Click()
{
    export_->writeCsvFile(outputFolder(programFolder_));
}

void Form1::ExportRecords_Click()
{
    export_->exportRecords(follower_->path());
}

void Form1::MnuOpenLog_Click()
{
    const QString folder = follower_->path().isEmpty() ? QDir::homePath() : QFileInfo(follower_->path()).path();
    const QString path = QFileDialog::getOpenFileName(this, QStringLiteral("Open Log"), folder,
                                                      QStringLiteral("All files (*);;Logs (*.log *.txt)"));
    if (!path.isEmpty())
        Open_Log(path);
}

bool Form1::Open_Log(const QString &path)
{
    LogRead r = readLogFile(path);
    if (!r.reason.isEmpty()) {
        QMessageBox box(QMessageBox::Warning, QStringLiteral("Open Log"),
                        QStringLiteral("Cannot open %1: %2.").arg(QDir::toNativeSeparators(path), r.reason),
                        QMessageBox::Ok, this);
        box.exec();
        return false;
    }
    Disconnect_Tnc(); // the box holds the log now
    follower_->setFile(path, r);
    MnuFollowLog->setEnabled(true);
    setWindowTitle(QFileInfo(path).fileName() + QStringLiteral(" - ") + QLatin1String(kTitle));
    recentLogs_->remember(path, true);
    Text2->setText(std::move(r.text));
    archive_->archive().logOpened();
    return true;
}

void Form1::Open_Recent_Log(const QString &path)
{
    // One that can no longer be opened has no place in the list.
    if (!Open_Log(path))
        recentLogs_->remember(path, false);
}

void Form1::MnuFollowLog_Click()
{
    if (!MnuFollowLog->isChecked()) {
        follower_->stop();
        archive_->archive().followStopped();
        limits_->setFollowing(false);
        Show_Data(HScroll1->value());
        return;
    }
    status_->clear(StatusLine::Source::Follow);
    // Following shows the end of the log, where the new lines arrive, and the newest record.
    Text2->verticalScrollBar()->setValue(Text2->verticalScrollBar()->maximum());
    HScroll1->setValue(HScroll1->maximum());
    archive_->archive().followStarting();
    limits_->setFollowing(true);
    Show_Data(HScroll1->value());
    follower_->start();
}

void Form1::MnuConnectTnc_Click()
{
    bool ok = false;
    const QStringList recent = settings_->get(keys::recentTncs);
    const QString address = QInputDialog::getItem(
        this, QStringLiteral("Connect to TNC"),
        QStringLiteral("TNC address (kiss://HOST[:PORT], or kiss:DEVICE@BAUD for a serial line):"),
        recent.isEmpty() ? QStringList{QStringLiteral("kiss://localhost:8001")} : recent, 0, true, &ok);
    if (ok)
        Connect_Tnc(address.trimmed());
}

bool Form1::Connect_Tnc(const QString &text)
{
    const TncAddressResult parsed = parseTncAddress(text.toStdString());
    if (!parsed.address) {
        QMessageBox box(QMessageBox::Warning, QStringLiteral("Connect to TNC"),
                        QString::fromStdString(parsed.error) + QLatin1Char('.'), QMessageBox::Ok, this);
        box.exec();
        return false;
    }
    Disconnect_Tnc();
    // One source at a time: the box shows what the TNC brings from now on.
    if (MnuFollowLog->isChecked()) {
        MnuFollowLog->setChecked(false);
        MnuFollowLog_Click();
    }
    const QString address = QString::fromStdString(parsed.address->text());
    QStringList recent = settings_->get(keys::recentTncs);
    recent.removeAll(text);
    recent.prepend(text);
    settings_->set(keys::recentTncs, recent.mid(0, 8));
    Text2->clear();
    status_->clear(StatusLine::Source::Follow);
    setWindowTitle(address + QStringLiteral(" - ") + QLatin1String(kTitle));
    archive_->archive().tncStarting(parsed.address->text());
    tnc_->open(*parsed.address);
    MnuDisconnectTnc->setEnabled(true);
    return true;
}

void Form1::Disconnect_Tnc()
{
    if (!tnc_->isOpen())
        return;
    status_->set(StatusLine::Source::Follow, QStringLiteral("Disconnected from ") + tnc_->address());
    tnc_->close();
    archive_->archive().tncStopped();
    MnuDisconnectTnc->setEnabled(false);
}

void Form1::Follow_Log()
{
    if (!MnuFollowLog->isChecked())
        MnuFollowLog->trigger();
}

bool Form1::onLastRecord() const
{
    return HScroll1->value() == HScroll1->maximum() && !HScroll1->isSliderDown();
}

void Form1::followPosition(bool wasOnLast)
{
    if (wasOnLast && HScroll1->value() != HScroll1->maximum())
        HScroll1->setValue(HScroll1->maximum());
}

void Form1::Append_Log(std::string_view text)
{
    const bool wasOnLast = onLastRecord();
    QScrollBar *lines = Text2->verticalScrollBar();
    const bool logAtEnd = lines->value() == lines->maximum();
    // One insert at the end, one re-parse; the user's own cursor stays where it is.
    logChange_ = LimitWatch::Change::Appended;
    Text2->appendText(text);
    logChange_ = LimitWatch::Change::Edit;
    followPosition(wasOnLast);
    if (logAtEnd)
        lines->setValue(lines->maximum());
    archive_->archive().appended(text);
}

void Form1::Reload_Log(std::string_view text)
{
    const bool wasOnLast = onLastRecord();
    logChange_ = LimitWatch::Change::Reloaded;
    Text2->setText(text);
    logChange_ = LimitWatch::Change::Edit;
    followPosition(wasOnLast);
    Text2->verticalScrollBar()->setValue(Text2->verticalScrollBar()->maximum());
    archive_->archive().reloaded(text);
}

void Form1::Follow_Stopped(const QString &reason)
{
    MnuFollowLog->setChecked(false);
    status_->set(StatusLine::Source::Follow, QStringLiteral("Following stopped: ") + reason);
    archive_->archive().followStopped();
    limits_->setFollowing(false);
    Show_Data(HScroll1->value());
}

bool Form1::takeLogDrop(QDropEvent *event)
{
    const QString path = droppedLogFile(event->mimeData());
    if (path.isEmpty())
        return false;
    event->setDropAction(Qt::CopyAction);
    event->accept();
    // Opened after the drop has returned: a message box about a refused file
    // must not hold up the program the file was dragged from.
    if (event->type() == QEvent::Drop)
        QTimer::singleShot(0, this, [this, path] { Open_Log(path); });
    return true;
}

void Form1::dragEnterEvent(QDragEnterEvent *event)
{
    if (!takeLogDrop(event))
        QMainWindow::dragEnterEvent(event);
}

void Form1::dragMoveEvent(QDragMoveEvent *event)
{
    if (!takeLogDrop(event))
        QMainWindow::dragMoveEvent(event);
}

void Form1::dropEvent(QDropEvent *event)
{
    if (!takeLogDrop(event))
        QMainWindow::dropEvent(event);
}

void Form1::pageTo(int position)
{
    HScroll1->setValue(std::clamp(position, HScroll1->minimum(), HScroll1->maximum()));
}

bool Form1::pageKey(QObject *receiver, QKeyEvent *event)
{
    // Keys meant for an open menu or a dialog stay theirs: those are windows of their own.
    const auto *to = qobject_cast<const QWidget *>(receiver);
    const QWidget *focus = QApplication::focusWidget();
    if (!to || to->window() != this || !focus || focus == Text2 || Text2->isAncestorOf(focus))
        return false;
    if ((event->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier)
        return false;
    switch (event->key()) {
    case Qt::Key_PageUp:
        pageTo(HScroll1->value() - 1);
        return true;
    case Qt::Key_PageDown:
        pageTo(HScroll1->value() + 1);
        return true;
    case Qt::Key_Home:
        pageTo(HScroll1->minimum());
        return true;
    case Qt::Key_End:
        pageTo(HScroll1->maximum());
        return true;
    default:
        return false;
    }
}

bool Form1::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == centralWidget() && event->type() == QEvent::Wheel) {
        // The field boxes and labels leave the wheel to the client area.
        auto *wheel = static_cast<QWheelEvent *>(event);
        if (!gridArea_.contains(wheel->position().toPoint()))
            return QMainWindow::eventFilter(watched, event);
        wheelAngle_ += wheel->angleDelta().y();
        const int notches = wheelAngle_ / QWheelEvent::DefaultDeltasPerStep;
        wheelAngle_ -= notches * QWheelEvent::DefaultDeltasPerStep;
        pageTo(HScroll1->value() - notches); // away from the user: back
        wheel->accept();
        return true;
    }
    if (watched != Text2->viewport() ||
        (event->type() != QEvent::DragEnter && event->type() != QEvent::DragMove && event->type() != QEvent::Drop))
        return QMainWindow::eventFilter(watched, event);
    auto *drop = static_cast<QDropEvent *>(event);
    // Dropped text goes into the log; dropped links and file names do not,
    // as they would only be lines without a frame.
    if (!drop->mimeData()->hasUrls())
        return false;
    if (!takeLogDrop(drop))
        drop->ignore();
    return true;
}

void Form1::MnuExit_Click()
{
    close();
}

void Form1::MnuInfo_Click()
{
    if (!about_)
        about_ = new Form2(); // no owner: it stays when the main window closes
    about_->show();
    about_->raise();
    about_->activateWindow();
}

void Form1::MnuHistory_Click()
{
    archive_->showHistory();
}

} // namespace halcyra
