// All of the project's file objects: the interfaces, the files on disk, and the files held in
// memory.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "platform/disk_input_file.h"
#include "platform/disk_output_file.h"
#include "platform/file_interface.h"

namespace rw {

// An input file held in memory (tests and fuzzing).
class MemoryInputFile final : public InputFile {
  public:
    explicit MemoryInputFile(std::span<const uint8_t> data, std::string name = "memory")
        : m_data(data), m_name(std::move(name)) {}

    Expected<void> Seek(int64_t position) override;
    int64_t Position() const override { return m_position; }
    Expected<int64_t> Length() override { return static_cast<int64_t>(m_data.size()); }
    Expected<size_t> Read(std::span<uint8_t> out) override;
    const std::string& Name() const override { return m_name; }

  private:
    std::span<const uint8_t> m_data;
    std::string m_name;
    int64_t m_position = 0;
};

// An output file held in memory, optionally failing once it would pass a size limit (tests).
class MemoryOutputFile final : public OutputFile {
  public:
    explicit MemoryOutputFile(std::string name = "memory", int64_t failAfter = -1)
        : m_name(std::move(name)), m_failAfter(failAfter) {}

    Expected<void> Write(std::span<const uint8_t> data) override;
    int64_t Position() const override { return m_position; }
    const std::string& Name() const override { return m_name; }

    const std::vector<uint8_t>& Data() const { return m_data; }
    // Makes the file stand for the part of a larger one from `position` on (before any write).
    void StartAt(int64_t position) { m_position = position; }
    // Keeps only the count of bytes, not the bytes (fuzzing a whole conversion).
    void DiscardData(bool discard) { m_discard = discard; }

  private:
    std::vector<uint8_t> m_data;
    std::string m_name;
    int64_t m_failAfter;
    int64_t m_position = 0;
    bool m_discard = false;
};

}  // namespace rw
