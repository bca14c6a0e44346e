#include "app/converter_dlg.h"

#include <unistd.h>

#include <QComboBox>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMetaObject>
#include <QMimeData>
#include <QPalette>
#include <QPushButton>
#include <QResizeEvent>
#include <QScreen>
#include <algorithm>
#include <string_view>
#include <utility>

#include "app/about_dlg.h"
#include "app/archive_picker_dlg.h"
#include "app/control_ids.h"
#include "app/dialog_units.h"
#include "app/elided_label.h"
#include "app/resources.h"
#include "app/splash_dlg.h"
#include "app/video_panel.h"
#include "platform/data_paths.h"
#include "platform/qt/file_dialog.h"
#include "platform/qt/message_boxes.h"
#include "platform/qt/process_runner.h"
#include "platform/qt/sound_player.h"
#include "run/convert_frames.h"

namespace rw {

namespace {

// Elided: a one-line field showing a long text with its middle left out; Note: a few lines.
enum class Kind { Button, DefaultButton, Static, Elided, Note, GroupBox, Choice };

struct ControlTemplate {
    int id;  // -1: no id of its own
    Kind kind;
    const char* text;
    int x, y, width, height;  // dialog units
};

// The main dialog's controls in template order, which is also the tab order of the buttons.
constexpr ControlTemplate kTemplate[] = {
    {IDC_LOAD_FILE, Kind::Button, "Load File", 71, 115, 50, 14},
    {IDOK, Kind::DefaultButton, "Convert", 161, 115, 50, 14},
    {IDCANCEL, Kind::Button, "Exit", 249, 115, 50, 14},
    {IDC_NUMBER_OF_FRAMES, Kind::Static, "", 81, 33, 95, 8},
    {IDC_CONVERTING_FRAME, Kind::Static, "", 288, 52, 47, 8},
    {-1, Kind::GroupBox, "VQA-Info", 7, 7, 176, 105},
    {-1, Kind::Static, "Number of Frames", 15, 33, 58, 8},
    {-1, Kind::Static, "Converting Frame No.", 213, 52, 70, 8},
    {-1, Kind::Static, "Filename", 15, 22, 29, 8},
    {IDC_FILENAME, Kind::Elided, "", 81, 22, 95, 8},
    {IDC_WIDTH, Kind::Static, "", 81, 44, 27, 8},
    {-1, Kind::Static, "Width", 15, 44, 20, 8},
    {IDC_HEIGHT, Kind::Static, "", 81, 55, 27, 8},
    {-1, Kind::Static, "Height", 15, 55, 22, 8},
    {IDC_BLOCK_WIDTH, Kind::Static, "", 81, 66, 27, 8},
    {-1, Kind::Static, "Blockwidth", 15, 66, 36, 8},
    {IDC_BLOCK_HEIGHT, Kind::Static, "", 81, 77, 27, 8},
    {-1, Kind::Static, "Blockheight", 15, 77, 38, 8},
    {IDC_FILESIZE, Kind::Static, "", 81, 88, 85, 8},
    {-1, Kind::Static, "Filesize", 15, 88, 24, 8},
    {IDC_VIDEO_LENGTH, Kind::Static, "", 81, 99, 85, 8},
    {-1, Kind::Static, "Videolength (mm.ss)", 15, 99, 64, 8},
    {-1, Kind::Static, "Outputfilesize", 213, 64, 44, 8},
    {IDC_OUTPUT_FILESIZE, Kind::Static, "", 299, 64, 57, 8},
    {IDC_TIME_REMAINING, Kind::Static, "", 279, 20, 43, 8},
    {IDC_ELAPSED_TIME, Kind::Static, "", 279, 31, 41, 8},
    {IDC_FINISH_TIME, Kind::Static, "", 278, 42, 50, 8},
    {-1, Kind::GroupBox, "Progress", 191, 7, 175, 105},
    {IDC_LABEL_TIME_REMAINING, Kind::Static, "Time remaining:", 213, 20, 50, 8},
    {IDC_LABEL_ELAPSED_TIME, Kind::Static, "Elapsed time:", 213, 31, 62, 8},
    {IDC_LABEL_FINISH_TIME, Kind::Static, "Finish time:", 213, 42, 50, 8},
    {-1, Kind::Static, "Percent converted:", 213, 75, 62, 8},
    {IDC_PERCENT_CONVERTED, Kind::Static, "", 281, 75, 45, 8},
    // Beside the short values of the picture's sizes; under the progress fields.
    {IDC_FRAMES_NOTE, Kind::Note, "", 112, 44, 64, 40},
    {-1, Kind::Static, "Written to:", 213, 86, 40, 8},
    {IDC_OUTPUT_PATH, Kind::Elided, "", 257, 86, 101, 8},
    // Beside the picture: the kind of file Convert writes, AVI at the start.
    {-1, Kind::Static, "Output", 305, 118, 24, 8},
    {IDC_OUTPUT_KIND, Kind::Choice, "", 330, 115, 38, 14},
};

// The choices of the Output box after AVI, in their order.
constexpr std::pair<const char*, CompressedFormat> kCompressedChoices[] = {
    {"MP4", CompressedFormat::Mp4},
    {"WebM", CompressedFormat::WebM},
    {"MKV", CompressedFormat::Mkv},
    {"MPEG", CompressedFormat::Mpg}};

// The template's 373 x 135 units, grown to the right for the picture and its player.
constexpr QSize kTemplateSize(561, 135);
constexpr QRect kVideoPanelUnits(374, 7, 180, 122);

// One control of the template; `fitText` says whether its own text must fit its rectangle.
QWidget* MakeControl(const ControlTemplate& t, QWidget* parent, bool& fitText) {
    const QString text = QString::fromLatin1(t.text);
    fitText = false;
    switch (t.kind) {
        case Kind::Button:
        case Kind::DefaultButton: {
            auto* button = new QPushButton(text, parent);
            button->setDefault(t.kind == Kind::DefaultButton);
            return button;
        }
        case Kind::Static: {
            auto* label = new QLabel(text, parent);
            label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
            label->setTextFormat(Qt::PlainText);
            fitText = !text.isEmpty();
            return label;
        }
        case Kind::Elided:
            return new ElidedLabel(parent);
        case Kind::Note: {
            auto* note = new QLabel(parent);
            note->setTextFormat(Qt::PlainText);
            note->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            note->setWordWrap(true);
            return note;
        }
        case Kind::Choice: {
            auto* box = new QComboBox(parent);
            box->addItem(QStringLiteral("AVI"));
            for (const auto& [name, _] : kCompressedChoices)
                box->addItem(QString::fromLatin1(name));
            return box;
        }
        case Kind::GroupBox:
            break;
    }
    return new QGroupBox(text, parent);
}

QString NativeToQString(const std::string& path) {
    return QFile::decodeName(QByteArray::fromStdString(path));
}

}  // namespace

CConverterDlg::CConverterDlg(const DialogServices& services, QWidget* parent)
    : QDialog(parent),
      m_services(services),
      m_hIcon(LoadApplicationIcon()),
      m_session(
          *this,
          [this](std::function<void()> call) {
              QMetaObject::invokeMethod(this, std::move(call), Qt::QueuedConnection);
          },
          services.clock,
          QFile::encodeName(ProgramDirectory() + QString::fromLatin1(kCompanionName))
              .toStdString()) {
    setWindowTitle(QString::fromLatin1(kCaption));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    BuildControls();
    // Boxes, above all the questions after a run, leave the run's final figures in sight.
    if (m_services.messages) m_services.messages->KeepUncovered([this] { return ProgressArea(); });
}

CConverterDlg::~CConverterDlg() {
    if (m_services.messages) m_services.messages->KeepUncovered({});
    // A window that goes away while a worker exists stops it and removes its unfinished output.
    m_session.Abandon();
}

void CConverterDlg::BuildControls() {
    auto* layout = new DialogUnitLayout(this, kTemplateSize);
    QWidget* previousButton = nullptr;
    for (const ControlTemplate& t : kTemplate) {
        bool fitText = false;
        QWidget* widget = MakeControl(t, this, fitText);
        if (t.kind == Kind::GroupBox && std::string_view(t.text) == "Progress") {
            m_progressBox = widget;
        }
        if (qobject_cast<QPushButton*>(widget)) {
            if (previousButton) setTabOrder(previousButton, widget);
            previousButton = widget;
        }
        if (t.id >= 0) {
            widget->setObjectName(QStringLiteral("control%1").arg(t.id));
            m_controls[t.id] = widget;
        }
        layout->AddWidget(widget, QRect(t.x, t.y, t.width, t.height), fitText);
    }
    m_video = new VideoPanel(m_services.audio, this);
    // Grows the window for a picture larger than its place, so that it is never scaled down.
    layout->AddGrowingWidget(m_video, kVideoPanelUnits);
    setAcceptDrops(true);
    // Group boxes are frames behind the texts they surround.
    for (QGroupBox* box : findChildren<QGroupBox*>()) box->lower();

    m_btnConvert = static_cast<QPushButton*>(m_controls.at(IDOK));
    connect(static_cast<QPushButton*>(m_controls.at(IDC_LOAD_FILE)), &QPushButton::clicked, this,
            [this] { OnLoadFile(); });
    connect(m_btnConvert, &QPushButton::clicked, this, [this] { OnOK(); });
    for (const auto& [_, format] : kCompressedChoices) {
        m_outputMakers.push_back(
            std::make_unique<CompressedOutputMaker>(CompressedSettings{.format = format}));
    }
    connect(static_cast<QComboBox*>(m_controls.at(IDC_OUTPUT_KIND)),
            &QComboBox::currentIndexChanged, this, [this](int index) {
                m_session.SetOutput(
                    index > 0 ? m_outputMakers.at(static_cast<size_t>(index - 1)).get() : nullptr);
            });
    connect(static_cast<QPushButton*>(m_controls.at(IDCANCEL)), &QPushButton::clicked, this,
            [this] { OnCancel(); });
    // The first tab stop, Load File, has the focus at start-up.
    m_controls.at(IDC_LOAD_FILE)->setFocus();
}

bool CConverterDlg::OnInitDialog() {
    setWindowIcon(m_hIcon);
    if (m_services.sound) {
        // The name as it stands, then beside the program, then (an installed copy) in the
        // program's data folder.
        QString sound = FindStartupSound(QString::fromLatin1(kStartupSound), ProgramDirectory());
        if (sound.isEmpty() && m_services.programDirectory.isEmpty()) {
            sound =
                QFile::decodeName(QByteArray::fromStdString(FindDataFile(kStartupSound).string()));
        }
        m_services.sound->PlayAsync(sound);
    }
    if (m_services.showSplash) {
        CSplashDlg splash;
        splash.exec();
    }
    if (!m_services.initialFile.isEmpty()) {
        QMetaObject::invokeMethod(
            this, [this, f = m_services.initialFile] { OnOpenFile(f); }, Qt::QueuedConnection);
    }
    return true;
}

QWidget* CConverterDlg::Control(int controlId) const {
    const auto it = m_controls.find(controlId);
    return it == m_controls.end() ? nullptr : it->second;
}

QString CConverterDlg::FieldText(int controlId) const {
    if (const auto* label = qobject_cast<const QLabel*>(Control(controlId))) return label->text();
    return {};
}

void CConverterDlg::SetField(int controlId, const QString& text) {
    if (auto* label = qobject_cast<QLabel*>(Control(controlId))) {
        label->setText(text);
        // A field that may show only part of its text shows all of it as its tooltip.
        if (dynamic_cast<ElidedLabel*>(label)) label->setToolTip(text);
    }
}

QString CConverterDlg::ProgramDirectory() const {
    QString dir = m_services.programDirectory.isEmpty() ? QCoreApplication::applicationDirPath()
                                                        : m_services.programDirectory;
    if (!dir.endsWith(QLatin1Char('/'))) dir += QLatin1Char('/');
    return dir;
}

// ---- What the session shows and asks ---------------------------------------------------------

void CConverterDlg::ShowMessage(const std::string& text, bool stopIcon) {
    m_services.messages->ShowMessage(QString::fromStdString(text), stopIcon);
}

bool CConverterDlg::AskYesNo(const std::string& question) {
    return m_services.messages->AskYesNo(QString::fromStdString(question));
}

std::string CConverterDlg::ChooseFile() {
    const QString chosen = m_services.fileDialog->GetOpenFileName(
        QString::fromLatin1(kFileFilter) + QStringLiteral(";;") +
            QString::fromLatin1(kMixFileFilter),
        QString::fromLatin1(kDefaultExtension));
    return QFile::encodeName(chosen).toStdString();
}

std::optional<size_t> CConverterDlg::ChooseArchiveVideo(ArchiveContents& contents) {
    QtArchivePicker realPicker(this, m_services.fileDialog, &m_archiveNames);
    ArchivePicker* picker = m_services.archivePicker ? m_services.archivePicker : &realPicker;
    return picker->PickVideo(contents);
}

std::string CConverterDlg::ChooseFolder(const std::string& title) {
    const QString folder = m_services.fileDialog->GetExistingFolder(NativeToQString(title));
    return QFile::encodeName(folder).toStdString();
}

bool CConverterDlg::CanWriteIn(const std::string& folder) {
    if (m_services.canWriteIn) return m_services.canWriteIn(NativeToQString(folder));
    return ::access(folder.c_str(), W_OK) == 0;
}

void CConverterDlg::ShowFileName(const std::string& name) {
    SetField(IDC_FILENAME, NativeToQString(name));
}

void CConverterDlg::ShowProperties(const PropertyTexts& texts, const std::string& fileSize) {
    SetField(IDC_NUMBER_OF_FRAMES, QString::fromStdString(texts.frames));
    SetField(IDC_WIDTH, QString::fromStdString(texts.width));
    SetField(IDC_HEIGHT, QString::fromStdString(texts.height));
    SetField(IDC_BLOCK_WIDTH, QString::fromStdString(texts.blockWidth));
    SetField(IDC_BLOCK_HEIGHT, QString::fromStdString(texts.blockHeight));
    SetField(IDC_VIDEO_LENGTH, QString::fromStdString(texts.videoLength));
    SetField(IDC_OUTPUT_FILESIZE, QString::fromStdString(texts.outputSize));
    SetField(IDC_FILESIZE, QString::fromStdString(fileSize));
}

void CConverterDlg::ClearProgress() {
    for (int id : {IDC_TIME_REMAINING, IDC_FINISH_TIME, IDC_ELAPSED_TIME, IDC_PERCENT_CONVERTED,
                   IDC_CONVERTING_FRAME, IDC_OUTPUT_PATH}) {
        SetField(id, QString());
    }
}

void CConverterDlg::ShowNote(const std::string& note, bool warning) {
    QWidget* field = Control(IDC_FRAMES_NOTE);
    QPalette palette = field->parentWidget()->palette();
    if (warning) palette.setColor(QPalette::WindowText, QColor(160, 0, 0));
    field->setPalette(palette);
    SetField(IDC_FRAMES_NOTE, QString::fromStdString(note));
}

void CConverterDlg::ShowOutputPath(const std::string& path) {
    SetField(IDC_OUTPUT_PATH, NativeToQString(path));
}

QRect CConverterDlg::ProgressArea() const {
    return QRect(m_progressBox->mapToGlobal(QPoint(0, 0)), m_progressBox->size());
}

void CConverterDlg::ShowVideo(const VqaSource& video) {
    m_video->Load(video);
}

void CConverterDlg::SetConverting(bool converting) {
    m_video->SetConverting(converting);
    m_controls.at(IDC_OUTPUT_KIND)->setEnabled(!converting);
}

void CConverterDlg::ShowProgress(const ProgressTexts& progress) {
    if (progress.hasTimes) {
        SetField(IDC_TIME_REMAINING, QString::fromStdString(progress.timeRemaining));
        SetField(IDC_ELAPSED_TIME, QString::fromStdString(progress.elapsedTime));
        SetField(IDC_FINISH_TIME, QString::fromStdString(progress.finishTime));
    }
    SetField(IDC_CONVERTING_FRAME, QString::fromStdString(progress.frame));
    SetField(IDC_PERCENT_CONVERTED, QString::fromStdString(progress.percent));
}

void CConverterDlg::ShowPicture(int32_t frame, std::span<const uint8_t> bgrBottomUp, int32_t width,
                                int32_t height) {
    m_video->ShowConvertedFrame(frame, PictureImage(bgrBottomUp, width, height));
}

void CConverterDlg::RunEnded(bool completed) {
    if (completed) emit completionDone();
}

void CConverterDlg::FocusConvert() {
    m_btnConvert->setFocus();
}

void CConverterDlg::RunCompanion(const std::vector<std::string>& arguments) {
    if (!m_services.processes) return;
    QStringList list;
    for (const std::string& a : arguments) list << NativeToQString(a);
    m_services.processes->RunAndWait(list.front(), list);
}

void CConverterDlg::EndDialog(bool accepted) {
    if (m_services.processes) m_services.processes->Abandon();
    QDialog::done(accepted ? QDialog::Accepted : QDialog::Rejected);
}

// ---- Buttons ----------------------------------------------------------------------------------

void CConverterDlg::OnLoadFile() {
    m_session.LoadFile();
}

void CConverterDlg::OnOpenFile(const QString& path) {
    m_session.OpenFile(QFile::encodeName(path).toStdString());
}

void CConverterDlg::OnOK() {
    m_session.Convert();
}

void CConverterDlg::OnCancel() {
    m_session.Exit();
}

// ---- Start-up, menu and painting --------------------------------------------------------------

void CConverterDlg::OnSysCommand(unsigned commandId) {
    if ((commandId & 0xFFF0u) == kIdmAboutBox) RunAboutBox();
}

void CConverterDlg::RunAboutBox() {
    CAboutDlg about;
    about.exec();
}

std::unique_ptr<QMenu> CConverterDlg::CreateSystemMenu() {
    auto menu = std::make_unique<QMenu>(this);
    const QString text = QString::fromLatin1(kAboutMenuText);
    if (!text.isEmpty()) {
        menu->addSeparator();
        QAction* about = menu->addAction(text);
        connect(about, &QAction::triggered, this, [this] { OnSysCommand(kIdmAboutBox); });
    }
    return menu;
}

void CConverterDlg::contextMenuEvent(QContextMenuEvent* event) {
    std::unique_ptr<QMenu> menu = CreateSystemMenu();
    menu->exec(event->globalPos());
}

static QString DroppedVqa(const QMimeData* data) {
    if (data == nullptr || data->urls().size() != 1 || !data->urls().front().isLocalFile()) {
        return {};
    }
    const QString path = data->urls().front().toLocalFile();
    return path.endsWith(QStringLiteral(".vqa"), Qt::CaseInsensitive) ? path : QString();
}

void CConverterDlg::dragEnterEvent(QDragEnterEvent* event) {
    if (!DroppedVqa(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void CConverterDlg::dropEvent(QDropEvent* event) {
    const QString path = DroppedVqa(event->mimeData());
    if (path.isEmpty()) return;
    event->acceptProposedAction();
    // Loaded after the drop has ended, so that boxes it may show are not inside the drag.
    QMetaObject::invokeMethod(
        this, [this, path] { OnOpenFile(path); }, Qt::QueuedConnection);
}

void CConverterDlg::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    // A window grown for a large picture is moved back onto its screen, as far as it fits.
    if (!isVisible() || screen() == nullptr) return;
    const QRect room = screen()->availableGeometry();
    const QRect frame = frameGeometry();
    QPoint to = frame.topLeft();
    if (frame.right() > room.right()) {
        to.setX(std::max(room.left(), room.right() + 1 - frame.width()));
    }
    if (frame.bottom() > room.bottom()) {
        to.setY(std::max(room.top(), room.bottom() + 1 - frame.height()));
    }
    if (to != frame.topLeft()) move(to);
}

void CConverterDlg::changeEvent(QEvent* event) {
    // A new font changes the dialog units: lay the controls out again.
    if (event->type() == QEvent::FontChange && layout()) {
        layout()->invalidate();
        layout()->activate();
    }
    QDialog::changeEvent(event);
}

}  // namespace rw
