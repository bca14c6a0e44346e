// The picture and the player beside the properties: the first frame after a load, the frames of a
// running conversion, playing in step with a fake sound device, and seeking.
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QScreen>
#include <QSlider>
#include <QTest>
#include <QUrl>
#include <map>

#include "app/control_ids.h"
#include "app/video_panel.h"
#include "platform/qt/audio_output.h"
#include "tests/app/app_fixture.h"
#include "tests/support/avi_walk.h"

namespace rw::test {
namespace {

// A sound device that plays exactly as far as the test says, and keeps what it was given.
class FakeAudio final : public AudioOutput {
  public:
    bool Start(int r, int c) override {
        rate = r;
        channels = c;
        written.clear();
        played = 0;
        return true;
    }
    int64_t BytesFree() override { return 4096; }
    int64_t Write(const QByteArray& pcm) override {
        written.append(pcm);
        return pcm.size();
    }
    int64_t SamplesPlayed() override { return played; }
    void Stop() override {}

    int rate = 0;
    int channels = 0;
    QByteArray written;
    int64_t played = 0;
};

// The frames and sound (leading sound, then every frame's chunk) of the video's AVI file.
struct Decoded {
    std::vector<QImage> frames;
    QByteArray sound;
};
Decoded DecodeAll(const QString& path) {
    const std::vector<uint8_t> avi = ConvertInMemory(ReadAll(path)).avi;
    const AviWalk walk = WalkAvi(avi);
    EXPECT_EQ(walk.problem, "");
    Decoded d{
        {},
        QByteArray(reinterpret_cast<const char*>(walk.sound.data()), qsizetype(walk.sound.size()))};
    for (const auto frame : walk.videoFrames)
        d.frames.push_back(PictureImage(frame, int(walk.width), int(walk.height)));
    return d;
}

class VideoTest : public AppTest {
  public:
    VideoPanel* Video() const { return m_dlg->Video(); }
    // What the screen shows where the picture is, and whether it is the frame scaled up by a
    // whole factor without smoothing.
    bool ShowsFrame(const QImage& frame) const {
        PictureView* view = Video()->Picture();
        const QRect r = view->PictureRect();
        if (r.width() % frame.width() != 0 || r.width() / frame.width() < 1 ||
            r.height() * frame.width() != frame.height() * r.width()) {
            ADD_FAILURE() << "not a whole factor: " << r.width() << " x " << r.height();
            return false;
        }
        const QImage shot = view->grab().toImage().copy(r).convertToFormat(QImage::Format_RGB32);
        return shot == frame.scaled(r.size(), Qt::IgnoreAspectRatio, Qt::FastTransformation)
                           .convertToFormat(QImage::Format_RGB32);
    }
    bool WaitForFrame(int frame) {
        return WaitFor([&] { return Video()->ShownFrame() == frame; }, 10000);
    }
};

TEST_F(VideoTest, ShowsTheFirstFrameAndSeeksToTheFramesExactPixels) {
    // Past the palette change half-way and several codebook switches.
    const QString vqa = WriteSynth(QStringLiteral("clip.vqa"), SmallOptions(40, 64, 48));
    const Decoded decoded = DecodeAll(vqa);
    Load(vqa);  // the first frame at a whole factor
    ASSERT_TRUE(WaitForFrame(0));
    EXPECT_TRUE(ShowsFrame(decoded.frames[0]));
    EXPECT_EQ(Video()->TimeLabel()->text(), QStringLiteral("00:00 of 00:02"));
    EXPECT_TRUE(Video()->PlayButton()->isEnabled());
    for (int frame : {31, 3, 39}) {
        Video()->SeekTo(frame);
        ASSERT_TRUE(WaitForFrame(frame));
        EXPECT_TRUE(ShowsFrame(decoded.frames[size_t(frame)])) << frame;
    }
    EXPECT_EQ(Video()->TimeLabel()->text(), QStringLiteral("00:02 of 00:02"));
}

TEST_F(VideoTest, PlayingFollowsTheSamplesTheDeviceHasPlayed) {
    FakeAudio audio;
    m_services.audio = &audio;
    MakeDialog();
    const QString vqa = WriteSynth(QStringLiteral("clip.vqa"), SmallOptions(30, 64, 48));
    const Decoded decoded = DecodeAll(vqa);
    Load(vqa);
    ASSERT_TRUE(WaitForFrame(0));
    Video()->Play();
    EXPECT_EQ(audio.rate, 22050);
    EXPECT_EQ(Video()->PlayButton()->text(), QStringLiteral("Pause"));
    // 1470 samples a frame at 22050 Hz.
    for (int64_t samples : {int64_t{1470 * 5 + 100}, int64_t{1470 * 12}, int64_t{1470 * 20 - 1}}) {
        audio.played = samples;
        const int frame = int(samples / 1470);
        ASSERT_TRUE(WaitForFrame(frame)) << samples;
        QTest::qWait(50);  // the device stands still: so do the pictures
        EXPECT_EQ(Video()->ShownFrame(), frame);
        EXPECT_TRUE(ShowsFrame(decoded.frames[size_t(frame)])) << frame;
    }
    // The device was given the AVI file's sound from its start.
    ASSERT_GT(audio.written.size(), 0);
    EXPECT_EQ(audio.written, decoded.sound.first(audio.written.size()));
    Video()->Pause();
    EXPECT_EQ(Video()->PlayButton()->text(), QStringLiteral("Play"));
    m_dlg.reset();
}

// Without a sound device the player keeps time itself, and stops at the last frame showing the
// whole length.
TEST_F(VideoTest, PlaysSilentlyWithoutASoundDeviceToTheEnd) {
    const QString vqa = WriteSynth(QStringLiteral("clip.vqa"), SmallOptions(30, 64, 48));
    Load(vqa);
    ASSERT_TRUE(WaitForFrame(0));
    QElapsedTimer clock;
    clock.start();
    Video()->Play();
    ASSERT_TRUE(WaitForFrame(29));
    EXPECT_GE(clock.elapsed(), 29 * 1000 / 15 - 50);
    EXPECT_TRUE(WaitFor([&] { return !Video()->IsPlaying(); }, 2000));
    EXPECT_EQ(Video()->PlayButton()->text(), QStringLiteral("Play"));
    EXPECT_EQ(Video()->TimeLabel()->text(), QStringLiteral("00:02 of 00:02"));
}

// A file cut short is noted beside the properties, and plays to the last frame it holds.
TEST_F(VideoTest, AFileCutShortIsNotedAndPlaysToItsLastFrame) {
    std::vector<uint8_t> bytes = SmallVideo(30, 64, 48).file;
    const size_t frame20 = 70 + 4 * 20;  // its index entry counts 2-byte units
    bytes.resize(2 * (bytes[frame20] | bytes[frame20 + 1] << 8 | bytes[frame20 + 2] << 16));
    Load(Write(QStringLiteral("cut.vqa"), bytes));
    EXPECT_EQ(m_dlg->FieldText(IDC_FRAMES_NOTE),
              QStringLiteral("10 of the 30 frames lie beyond the end of the file."));
    ASSERT_TRUE(WaitForFrame(0));
    Video()->Play();
    EXPECT_TRUE(WaitFor([&] { return !Video()->IsPlaying(); }, 5000));
    EXPECT_EQ(Video()->ShownFrame(), 19);
    EXPECT_EQ(Video()->TimeLabel()->text(), QStringLiteral("00:01 of 00:02"));
    Video()->SeekTo(5);
    ASSERT_TRUE(WaitForFrame(5));
    Video()->SeekTo(25);  // beyond the end of the file: the last frame it holds
    EXPECT_TRUE(WaitForFrame(19));

    Load(WriteSynth(QStringLiteral("whole.vqa"), SmallOptions(4, 64, 48)));
    EXPECT_EQ(m_dlg->FieldText(IDC_FRAMES_NOTE), QString());
}

TEST_F(VideoTest, AClickOnTheSliderMovesToTheClickedPlace) {
    Load(WriteSynth(QStringLiteral("clip.vqa"), SmallOptions(40, 64, 48)));
    ASSERT_TRUE(WaitForFrame(0));
    QSlider* slider = Video()->Slider();
    QTest::mouseClick(slider, Qt::LeftButton, {},
                      QPoint(slider->width() * 3 / 4, slider->height() / 2));
    ASSERT_TRUE(WaitFor([&] { return Video()->ShownFrame() > 0; }, 5000));
    EXPECT_NEAR(Video()->ShownFrame(), 29, 3);  // 3/4 of the way to frame 39, not one page on
}

// Every video at least at its true size, the window growing for it (and moving back onto its
// screen) while every control stays where it is; a small one enlarged by a whole factor.
TEST_F(VideoTest, ShowsEveryRowAndColumnGrowingTheWindowAsNeeded) {
    const QRect room = m_dlg->screen()->availableGeometry();
    m_dlg->move(room.topLeft() + QPoint(200, 50));
    std::map<int, QRect> before;
    for (int id :
         {IDC_LOAD_FILE, IDOK, IDCANCEL, IDC_FILENAME, IDC_PERCENT_CONVERTED, IDC_OUTPUT_PATH})
        before[id] = m_dlg->Control(id)->geometry();
    struct Case {
        int width, height;
        int factor;  // at least
    };
    for (const Case c : {Case{320, 200, 1}, Case{640, 400, 1}, Case{64, 48, 2}}) {
        const QString vqa = WriteSynth(QStringLiteral("%1x%2.vqa").arg(c.width).arg(c.height),
                                       SmallOptions(2, c.width, c.height));
        Load(vqa);
        ASSERT_TRUE(WaitForFrame(0)) << c.width;
        // The window takes its new size once its layout has run.
        WaitFor(
            [&] {
                const QSize room = Video()->Picture()->size();
                return room.width() >= c.width && room.height() >= c.height;
            },
            2000);
        const QRect shown = Video()->Picture()->PictureRect();
        EXPECT_TRUE(Video()->Picture()->rect().contains(shown)) << c.width;
        EXPECT_GE(shown.width() / c.width, c.factor) << c.width;
        EXPECT_TRUE(ShowsFrame(DecodeAll(vqa).frames[0])) << c.width;
        const QRect frame = m_dlg->frameGeometry();
        EXPECT_TRUE(frame.right() <= room.right() || frame.left() == room.left()) << c.width;
        for (const auto& [id, geometry] : before)
            EXPECT_EQ(m_dlg->Control(id)->geometry(), geometry) << id;
    }
}

TEST_F(VideoTest, AConversionShowsTheFramesBeingConverted) {
    SlowClock clock;  // a few milliseconds a frame: the run lasts long enough to see it
    m_services.clock = &clock;
    MakeDialog();
    const QString vqa = WriteSynth(QStringLiteral("clip.vqa"), SmallOptions(120, 64, 48));
    const Decoded decoded = DecodeAll(vqa);
    Load(vqa);
    ASSERT_TRUE(WaitForFrame(0));
    std::vector<int> shown;
    std::vector<bool> exact;
    QObject::connect(Video(), &VideoPanel::convertedFrameShown, [&](int frame) {
        shown.push_back(frame);
        exact.push_back(ShowsFrame(decoded.frames[size_t(frame)]));
    });
    m_boxes.Answer(kAskAnother, {false});
    m_dlg->OnOK();
    EXPECT_FALSE(Video()->PlayButton()->isEnabled());
    ASSERT_TRUE(WaitForCompletion());
    // Pictures of later and later frames (a long video is converted in two parts at once).
    ASSERT_GE(shown.size(), 2u);
    EXPECT_TRUE(std::is_sorted(shown.begin(), shown.end())) << testing::PrintToString(shown);
    EXPECT_GT(shown.back(), shown.front());
    EXPECT_TRUE(Video()->PlayButton()->isEnabled());  // the player is back after the run
    EXPECT_EQ(std::count(exact.begin(), exact.end(), true), std::ptrdiff_t(exact.size()));
}

// A file named on the command line, or dropped on the window, is loaded by Load File's rules.
TEST_F(VideoTest, FilesComeFromTheCommandLineAndFromDrops) {
    const QString first = WriteSynth(QStringLiteral("first.vqa"), SmallOptions(4, 64, 48));
    const QString second = WriteSynth(QStringLiteral("second.VQA"), SmallOptions(4, 64, 48));
    m_services.initialFile = first;
    MakeDialog();
    m_dlg->OnInitDialog();
    ASSERT_TRUE(WaitFor([&] { return m_dlg->FieldText(IDC_FILENAME) == first; }));
    ASSERT_TRUE(WaitForFrame(0));

    auto drop = [&](const QString& path) {
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(path)});
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(m_dlg.get(), &enter);
        if (!enter.isAccepted()) return false;
        QDropEvent dropped(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(m_dlg.get(), &dropped);
        return true;
    };
    EXPECT_FALSE(drop(PathOf(QStringLiteral("notes.txt"))));
    ASSERT_TRUE(drop(second));
    EXPECT_TRUE(WaitFor([&] { return m_dlg->FieldText(IDC_FILENAME) == second; }));
    EXPECT_TRUE(m_boxes.Texts().isEmpty());
}

}  // namespace
}  // namespace rw::test
