#include "app/converter_app.h"

#include "app/converter_dlg.h"
#include "platform/qt/audio_output.h"
#include "platform/qt/file_dialog.h"
#include "platform/qt/message_boxes.h"
#include "platform/qt/process_runner.h"
#include "platform/qt/sound_player.h"

namespace rw {

CConverterApp::CConverterApp(QString initialFile)
    : m_messages(std::make_unique<QtMessageBoxes>()),
      m_fileDialog(std::make_unique<QtOpenFileDialog>()),
      m_sound(std::make_unique<QtSoundPlayer>()),
      m_processes(std::make_unique<PosixProcessRunner>()),
      m_audio(std::make_unique<QtAudioOutput>()),
      m_initialFile(std::move(initialFile)) {}

CConverterApp::~CConverterApp() = default;

bool CConverterApp::InitInstance() {
    DialogServices services;
    services.messages = m_messages.get();
    services.fileDialog = m_fileDialog.get();
    services.sound = m_sound.get();
    services.processes = m_processes.get();
    services.audio = m_audio.get();
    services.initialFile = m_initialFile;
    CConverterDlg dlg(services);
    static_cast<QtMessageBoxes*>(m_messages.get())->SetParent(&dlg);
    dlg.OnInitDialog();
    dlg.exec();
    static_cast<QtMessageBoxes*>(m_messages.get())->SetParent(nullptr);
    return false;
}

}  // namespace rw
