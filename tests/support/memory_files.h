// The files a run in two parts opens besides its own, kept in memory: the input again, and the
// output from a position on, collected in `second` (the run lets go of the writer it is given).
// With `writeDelay`, every write to `second` takes that long: a second part that ends last.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <thread>

#include "run/convert_frames.h"
#include "tests/support/memory_file.h"

namespace rw::test {

class MemoryFiles final : public ConversionFiles {
  public:
    MemoryFiles(std::span<const uint8_t> vqa, int64_t failAfter = -1)
        : second("memory.avi", failAfter), m_vqa(vqa) {}
    MemoryFiles(const MemoryFiles&) = delete;
    MemoryFiles& operator=(const MemoryFiles&) = delete;

    Expected<std::unique_ptr<InputFile>> OpenInputAgain() override {
        return std::unique_ptr<InputFile>(std::make_unique<MemoryInputFile>(m_vqa, "memory.vqa"));
    }
    Expected<std::unique_ptr<OutputFile>> OpenOutputAt(int64_t position) override {
        second.StartAt(position);
        return std::unique_ptr<OutputFile>(std::make_unique<Forward>(second, writeDelay));
    }

    MemoryOutputFile second;
    std::chrono::milliseconds writeDelay{0};

  private:
    class Forward final : public OutputFile {
      public:
        Forward(MemoryOutputFile& to, std::chrono::milliseconds delay) : m_to(to), m_delay(delay) {}
        Expected<void> Write(std::span<const uint8_t> data) override {
            std::this_thread::sleep_for(m_delay);
            return m_to.Write(data);
        }
        int64_t Position() const override { return m_to.Position(); }
        const std::string& Name() const override { return m_to.Name(); }

      private:
        MemoryOutputFile& m_to;
        std::chrono::milliseconds m_delay;
    };

    std::span<const uint8_t> m_vqa;
};

}  // namespace rw::test
