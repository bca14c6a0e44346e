#include "encode/vqa_encoder.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>

#include "encode/ima_adpcm_encode.h"
#include "encode/lcw_compress.h"
#include "encode/palette.h"
#include "encode/vector_quantiser.h"
#include "vqa/vqa_bytes.h"

namespace rw {
namespace {

constexpr int32_t kGroupFrames = kCodebookPartsPerSwitch;
constexpr int64_t kMaxRecordOffset = int64_t{0x3FFFFFFF} * 2;
constexpr int32_t kMaxVqaDimension = 65535;
// A group gets a palette of its own when the current one's mean squared error exceeds the new
// one's by this factor.
constexpr double kPaletteGain = 1.25;

QuantiserSettings SettingsFor(const EncodeSettings& s) {
    QuantiserSettings q;
    switch (s.effort) {
        case 1:
            q.rounds = 0;
            q.greedySearch = true;
            q.solidTolerance = 32;
            break;
        case 3:
            q.rounds = 8;
            q.settleShare = 1000;
            q.solidTolerance = 4;
            break;
        default:
            break;
    }
    return q;
}

// One group's pictures and the palette they are drawn in, quantised and compressed on a thread
// of its own.
struct GroupJob {
    std::vector<std::vector<uint8_t>> frames;
    std::shared_ptr<PaletteMap> map;
    bool newPalette = false;
    QuantisedGroup result;
    std::vector<uint8_t> codebookLcw;             // the codebook, compressed
    std::vector<std::vector<uint8_t>> tablesLcw;  // each frame's pointer table, compressed
    std::exception_ptr failure;  // what quantising threw (no memory), for the encoding's thread
    bool done = false;           // guarded by Encoder::m_lock
    std::jthread worker;         // last: joined before the rest goes
};

class Encoder {
  public:
    Encoder(EncodeFrames& frames, EncodeSound* sound, const EncodeSettings& settings,
            EncodeObserver* observer, EncodeRecord* record)
        : m_frames(frames),
          m_sound(sound),
          m_settings(settings),
          m_observer(observer),
          m_record(record),
          m_quantiser(SettingsFor(settings)) {
        m_quantiser.drawImages = record != nullptr;
        if (observer != nullptr)
            m_quantiser.stop = [observer] { return observer->CancelRequested(); };
        m_grid.width = PadToBlocks(frames.Width(), settings.blockWidth);
        m_grid.height = PadToBlocks(frames.Height(), settings.blockHeight);
        m_grid.blockWidth = settings.blockWidth;
        m_grid.blockHeight = settings.blockHeight;
        m_count = frames.Frames();
        m_groups = (m_count + kGroupFrames - 1) / kGroupFrames;
    }

    Expected<EncodedVqa> Run();

  private:
    void WriteHeader();
    Expected<std::unique_ptr<GroupJob>> Prepare(int32_t group);
    Expected<void> ReadPadded(int32_t frame, std::vector<uint8_t>& out);
    void Quantise(GroupJob& job);
    bool Finished(const GroupJob& job);
    Expected<void> WriteGroup(int32_t group, GroupJob& job, const GroupJob* next);
    Expected<void> WriteSound(size_t samples, bool leading);
    Expected<void> WriteFrame(int32_t frame, const GroupJob& job, const GroupJob* next,
                              const std::vector<std::vector<uint8_t>>& parts);

    EncodeFrames& m_frames;
    EncodeSound* m_sound;
    EncodeSettings m_settings;
    EncodeObserver* m_observer;
    EncodeRecord* m_record;
    QuantiserSettings m_quantiser;
    BlockGrid m_grid;
    int32_t m_count = 0;
    int32_t m_groups = 0;
    VqaBytes m_out;
    size_t m_maxEntriesAt = 0;
    size_t m_indexAt = 0;
    size_t m_maxEntries = 0;
    int32_t m_palettes = 0;
    std::shared_ptr<PaletteMap> m_map;
    std::mutex m_lock;
    std::condition_variable m_finishing;  // a group finished quantising
    ImaAdpcmState m_adpcm;
    std::vector<uint8_t> m_raw;
};

void Encoder::WriteHeader() {
    m_out.Id("FORM");
    m_out.U32Be(0);  // container size, set at the end
    m_out.Id("WVQA");
    m_out.Id("VQHD");
    m_out.U32Be(42);
    m_out.U16Le(2);  // version
    m_out.U16Le(1);  // flags: has sound
    m_out.U16Le(static_cast<uint32_t>(m_count));
    m_out.U16Le(static_cast<uint32_t>(m_grid.width));
    m_out.U16Le(static_cast<uint32_t>(m_grid.height));
    m_out.U8(static_cast<uint32_t>(m_grid.blockWidth));
    m_out.U8(static_cast<uint32_t>(m_grid.blockHeight));
    m_out.U8(kFramesPerSecond);
    m_out.U8(kCodebookPartsPerSwitch);
    m_out.U16Le(256);  // colours
    m_maxEntriesAt = m_out.Size();
    m_out.U16Le(0);  // most codebook entries, set at the end
    m_out.Zeros(6);
    m_out.U16Le(kEncodeSoundRate);
    m_out.U8(1);   // channels
    m_out.U8(16);  // bits per sample
    m_out.Zeros(14);
    m_out.Id("FINF");
    m_out.U32Be(static_cast<uint32_t>(m_count) * 4);
    m_indexAt = m_out.Size();
    m_out.Zeros(static_cast<size_t>(m_count) * 4);
}

Expected<void> Encoder::ReadPadded(int32_t frame, std::vector<uint8_t>& out) {
    if (m_observer && m_observer->CancelRequested()) return Error{"cancelled"};
    const auto w = static_cast<size_t>(m_frames.Width()),
               h = static_cast<size_t>(m_frames.Height());
    const auto pw = static_cast<size_t>(m_grid.width), ph = static_cast<size_t>(m_grid.height);
    m_raw.resize(w * h * 3);
    if (auto r = m_frames.Read(frame, m_raw); !r) return r;
    out.resize(pw * ph * 3);
    for (size_t y = 0; y < ph; ++y) {
        const uint8_t* src = &m_raw[std::min(y, h - 1) * w * 3];
        uint8_t* dst = &out[y * pw * 3];
        std::memcpy(dst, src, w * 3);
        for (size_t x = w; x < pw; ++x) std::memcpy(dst + 3 * x, src + 3 * (w - 1), 3);
    }
    return {};
}

// Reads a group and settles its palette: the current one, unless a palette made for this group
// would do clearly better (a palette costs 768 bytes; one that holds every colour of a group
// exactly always wins over one that does not).
Expected<std::unique_ptr<GroupJob>> Encoder::Prepare(int32_t group) {
    auto job = std::make_unique<GroupJob>();
    const int32_t first = group * kGroupFrames;
    const int32_t n = std::min(kGroupFrames, m_count - first);
    ColourHistogram histogram;
    job->frames.resize(static_cast<size_t>(n));
    for (int32_t i = 0; i < n; ++i) {
        auto& frame = job->frames[static_cast<size_t>(i)];
        if (auto r = ReadPadded(first + i, frame); !r) return r.error();
        histogram.AddPixels(frame);
    }
    const int refinements = m_settings.effort >= 3 ? 6 : m_settings.effort == 1 ? 1 : 3;
    if (!m_map) {
        m_map = std::make_shared<PaletteMap>(ChoosePalette(histogram, refinements).palette);
        job->newPalette = true;
    } else {
        const double current = m_map->MeanError(histogram);
        const PaletteChoice fresh = ChoosePalette(histogram, refinements);
        if (current > kPaletteGain * fresh.meanError) {
            m_map = std::make_shared<PaletteMap>(fresh.palette);
            job->newPalette = true;
        }
    }
    // The quantiser's own copy: it looks up the colours the palette does not know yet on its own
    // thread.
    job->map = std::make_shared<PaletteMap>(*m_map);
    return job;
}

void Encoder::Quantise(GroupJob& job) {
    try {
        job.result = QuantiseGroup(job.frames, m_grid, *job.map, m_quantiser);
        job.codebookLcw = CompressLcw(job.result.codebook);
        for (const auto& table : job.result.pointerTables)
            job.tablesLcw.push_back(CompressLcw(table));
    } catch (...) {
        job.failure = std::current_exception();
    }
    std::vector<std::vector<uint8_t>>().swap(job.frames);
    const std::lock_guard lock(m_lock);
    job.done = true;
    m_finishing.notify_all();
}

bool Encoder::Finished(const GroupJob& job) {
    const std::lock_guard lock(m_lock);
    return job.done;
}

Expected<void> Encoder::WriteSound(size_t samples, bool leading) {
    std::vector<int16_t> pcm(samples, 0);
    if (m_sound) {
        auto got = m_sound->Read(pcm);
        if (!got) return got.error();
    }
    std::vector<int16_t> decoded;
    const std::vector<uint8_t> codes = EncodeImaAdpcm(pcm, m_adpcm, m_record ? &decoded : nullptr);
    if (m_record) m_record->sound.insert(m_record->sound.end(), decoded.begin(), decoded.end());
    if (leading) {
        m_out.Id("SND2");
        m_out.U32Be(static_cast<uint32_t>(kLeadingSoundSkip - 8));
        m_out.bytes.insert(m_out.bytes.end(), codes.begin(), codes.end());
        m_out.Zeros(static_cast<size_t>(kLeadingSoundSkip - 8) - codes.size());
    } else {
        m_out.Chunk("SND2", codes);
    }
    return {};
}

Expected<void> Encoder::WriteFrame(int32_t frame, const GroupJob& job, const GroupJob* next,
                                   const std::vector<std::vector<uint8_t>>& parts) {
    const int32_t inGroup = frame % kGroupFrames;
    const auto recordAt = static_cast<int64_t>(m_out.Size());
    if (recordAt > kMaxRecordOffset) {
        return Error{"the VQA file would pass 2 GiB, more than its frame index can address"};
    }
    m_out.PutU32LeAt(m_indexAt + 4 * static_cast<size_t>(frame),
                     static_cast<uint32_t>(recordAt / 2));
    if (frame == 0) {
        if (auto r = WriteSound(kEncodeLeadingSamples, true); !r) return r;
    }
    if (auto r = WriteSound(kEncodeFrameSamples, false); !r) return r;

    VqaBytes picture;
    if (frame == 0) picture.Chunk("CBFZ", job.codebookLcw);
    if (inGroup == 0 && job.newPalette) {
        picture.Chunk("CPL0", job.map->Colours());
        ++m_palettes;
    }
    if (next) picture.Chunk("CBPZ", parts[static_cast<size_t>(inGroup)]);
    picture.Chunk("VPTZ", job.tablesLcw[static_cast<size_t>(inGroup)]);
    m_out.Chunk("VQFR", picture.bytes);
    if (m_record) m_record->images.push_back(job.result.images[static_cast<size_t>(inGroup)]);
    if (m_observer) m_observer->OnFrameDone(frame, m_count);
    return {};
}

Expected<void> Encoder::WriteGroup(int32_t group, GroupJob& job, const GroupJob* next) {
    if (job.failure) std::rethrow_exception(job.failure);
    if (next && next->failure) std::rethrow_exception(next->failure);
    const size_t pixels = m_grid.BlockPixels();
    m_maxEntries = std::max(m_maxEntries, job.result.codebook.size() / pixels);
    if (m_record) m_record->codebooks.push_back(job.result.codebook);

    // The next codebook cut into eight parts.
    std::vector<std::vector<uint8_t>> parts;
    if (next) {
        const std::vector<uint8_t>& whole = next->codebookLcw;
        const size_t n = whole.size();
        for (size_t i = 0; i < size_t{kGroupFrames}; ++i) {
            parts.emplace_back(whole.begin() + static_cast<ptrdiff_t>(i * n / kGroupFrames),
                               whole.begin() + static_cast<ptrdiff_t>((i + 1) * n / kGroupFrames));
        }
    }
    const int32_t first = group * kGroupFrames;
    const auto n = static_cast<int32_t>(job.result.pointerTables.size());
    for (int32_t i = 0; i < n; ++i) {
        if (auto r = WriteFrame(first + i, job, next, parts); !r) return r;
    }
    return {};
}

Expected<EncodedVqa> Encoder::Run() {
    if (auto why = CheckEncodable(m_frames.Width(), m_frames.Height(), m_count, m_settings)) {
        return Error{*why};
    }
    WriteHeader();
    // Groups are read and given their palettes in order on this thread, quantised each on a
    // thread of its own, at most one more in flight than there are threads, and written in order
    // as soon as they and the group after them (whose codebook they carry) are done.
    const unsigned width =
        m_settings.threads ? m_settings.threads
                           : std::clamp(std::thread::hardware_concurrency(), 1u, kEncodeMaxThreads);
    std::deque<std::unique_ptr<GroupJob>> jobs;  // prepared and not yet written, in order
    int32_t prepared = 0, written = 0;
    while (written < m_groups) {
        if (m_observer && m_observer->CancelRequested()) return Error{"cancelled"};
        const GroupJob* next = jobs.size() > 1 ? jobs[1].get() : nullptr;
        if (!jobs.empty() && Finished(*jobs.front()) &&
            (written + 1 == m_groups || (next && Finished(*next)))) {
            if (auto r = WriteGroup(written, *jobs.front(), next); !r) return r.error();
            jobs.pop_front();
            ++written;
        } else if (prepared < m_groups && jobs.size() <= width) {
            auto job = Prepare(prepared++);
            if (!job) return job.error();
            GroupJob& started = **job;
            jobs.push_back(std::move(*job));
            started.worker = std::jthread([this, &started] { Quantise(started); });
        } else {
            std::unique_lock lock(m_lock);
            m_finishing.wait(lock, [&] { return jobs.front()->done && (!next || next->done); });
        }
    }
    m_out.bytes[m_maxEntriesAt] = static_cast<uint8_t>(m_maxEntries);
    m_out.bytes[m_maxEntriesAt + 1] = static_cast<uint8_t>(m_maxEntries >> 8);
    m_out.PutU32BeAt(4, static_cast<uint32_t>(m_out.Size() - 8));
    EncodedVqa result;
    result.file = std::move(m_out.bytes);
    result.properties = VqaProperties{m_count,           m_grid.height,      m_grid.width,
                                      m_grid.blockWidth, m_grid.blockHeight, kEncodeSoundRate};
    result.palettes = m_palettes;
    return result;
}

}  // namespace

int32_t PadToBlocks(int32_t size, int32_t block) {
    return block <= 0 ? size : (size + block - 1) / block * block;
}

std::optional<std::string> CheckEncodable(int32_t width, int32_t height, int32_t frames,
                                          const EncodeSettings& settings) {
    if (settings.blockWidth < 1 || settings.blockWidth > 16 || settings.blockHeight < 1 ||
        settings.blockHeight > 16) {
        return "blocks of " + std::to_string(settings.blockWidth) + "x" +
               std::to_string(settings.blockHeight) + " pixels are not supported";
    }
    if (frames < 1) return std::string("the video has no frames");
    if (frames > kEncodeMaxFrames) {
        return "the video has " + std::to_string(frames) +
               " frames at 15 per second; a VQA file counts its frames in 16 bits, at most " +
               std::to_string(kEncodeMaxFrames);
    }
    const int32_t w = PadToBlocks(width, settings.blockWidth);
    const int32_t h = PadToBlocks(height, settings.blockHeight);
    if (width < 1 || height < 1 || w > kMaxVqaDimension || h > kMaxVqaDimension) {
        return "pictures of " + std::to_string(width) + "x" + std::to_string(height) +
               " pixels cannot be described: a VQA file holds 1 to " +
               std::to_string(kMaxVqaDimension) + " pixels each way";
    }
    return std::nullopt;
}

Expected<EncodedVqa> EncodeVqa(EncodeFrames& frames, EncodeSound* sound,
                               const EncodeSettings& settings, EncodeObserver* observer,
                               EncodeRecord* record) {
    Encoder encoder(frames, sound, settings, observer, record);
    return encoder.Run();
}

}  // namespace rw
