#include "tests/app/app_fixture.h"

#include <QDir>
#include <QFile>
#include <QTest>
#include <algorithm>
#include <chrono>
#include <thread>

namespace rw::test {

void ScriptedMessageBoxes::ShowMessage(const QString& text, bool stopIcon) {
    shown.push_back({false, text, stopIcon});
    maxOpen = std::max(maxOpen, ++open);
    if (whileOpen) whileOpen(text);
    --open;
}

bool ScriptedMessageBoxes::AskYesNo(const QString& text) {
    ShowMessage(text, false);
    shown.back().question = true;
    auto it = answers.find(text);
    if (it == answers.end() || it->second.empty()) {
        ADD_FAILURE() << "unexpected question: " << text.toStdString();
        return false;
    }
    const bool answer = it->second.front();
    it->second.pop_front();
    return answer;
}

void ScriptedMessageBoxes::Answer(const char* question, std::initializer_list<bool> list) {
    auto& queue = answers[QString::fromLatin1(question)];
    queue.insert(queue.end(), list.begin(), list.end());
}

QStringList ScriptedMessageBoxes::Texts() const {
    QStringList texts;
    for (const ShownBox& b : shown) texts << b.text;
    return texts;
}

QString ScriptedFileDialog::GetOpenFileName(const QString& filter, const QString& defaultSuffix) {
    ++calls;
    lastFilter = filter;
    lastSuffix = defaultSuffix;
    if (picks.empty()) {
        ADD_FAILURE() << "unexpected file dialog";
        return {};
    }
    QString pick = picks.front();
    picks.pop_front();
    return pick;
}

QString ScriptedFileDialog::GetExistingFolder(const QString& /*title*/) {
    if (folderPicks.empty()) {
        ADD_FAILURE() << "unexpected folder dialog";
        return {};
    }
    QString pick = folderPicks.front();
    folderPicks.pop_front();
    return pick;
}

int64_t SlowClock::NowMilliseconds() {
    std::this_thread::sleep_for(std::chrono::milliseconds(8));
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void AppTest::SetUp() {
    m_dir = std::make_unique<QTemporaryDir>();
    ASSERT_TRUE(m_dir->isValid());
    m_services.messages = &m_boxes;
    m_services.fileDialog = &m_files;
    m_services.sound = &m_sound;
    // A program directory of the test's own, without a companion unless a test puts one there.
    QDir(m_dir->path()).mkdir(QStringLiteral("program"));
    m_services.programDirectory = PathOf(QStringLiteral("program"));
    m_services.showSplash = false;
    MakeDialog();
}

void AppTest::TearDown() {
    m_dlg.reset();
    // Nothing of a test may be left for the next one.
    EXPECT_TRUE(m_files.picks.empty()) << "file dialog picks left over";
    EXPECT_TRUE(m_files.folderPicks.empty()) << "folder dialog picks left over";
    for (const auto& [question, queue] : m_boxes.answers) {
        EXPECT_TRUE(queue.empty()) << "answers left over for: " << question.toStdString();
    }
}

void AppTest::MakeDialog() {
    m_dlg.reset();
    m_dlg = std::make_unique<CConverterDlg>(m_services);
    QObject::connect(m_dlg.get(), &CConverterDlg::completionDone, [this] { ++m_completions; });
    QObject::connect(m_dlg.get(), &QDialog::finished, [this](int r) { m_finished.push_back(r); });
    m_dlg->show();
}

int AppTest::TemporaryFiles() const {
    return static_cast<int>(
        QDir(m_dir->path()).entryList({QStringLiteral("*.part")}, QDir::Files).size());
}

QString AppTest::PathOf(const QString& name) const {
    return m_dir->filePath(name);
}

QString AppTest::Write(const QString& name, const std::vector<uint8_t>& bytes) {
    const QString path = PathOf(name);
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
    f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
    return path;
}

QString AppTest::WriteSynth(const QString& name, const synth::SynthOptions& options) {
    synth::SynthOptions o = options;
    o.keepExpected = false;
    return Write(name, synth::SynthesizeVqa(o).file);
}

void AppTest::Load(const QString& path) {
    m_files.picks.push_back(path);
    m_dlg->OnLoadFile();
}

bool AppTest::WaitFor(const std::function<bool()>& done, int milliseconds) {
    return QTest::qWaitFor(done, milliseconds);
}

bool AppTest::WaitForCompletion() {
    const int before = m_completions;
    return WaitFor([&] { return m_completions > before; });
}

std::vector<uint8_t> ReadAll(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    const QByteArray data = f.readAll();
    return {data.begin(), data.end()};
}

}  // namespace rw::test
