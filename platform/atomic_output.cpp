#include "platform/atomic_output.h"

#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace rw {
namespace fs = std::filesystem;

Expected<void> AtomicOutput::Create(const fs::path& finalPath, size_t bufferSize) {
    Discard();
    m_final = finalPath.string();
    const fs::path folder = finalPath.has_parent_path() ? finalPath.parent_path() : fs::path(".");
    std::error_code ec;
    if (!fs::exists(folder, ec)) {
        return Error{"Cannot write \"" + m_final + "\": the folder \"" + folder.string() +
                     "\" does not exist"};
    }
    if (auto r = m_file.CreateUniqueBeside(finalPath, bufferSize); !r) return r;
    m_temporary = m_file.Name();
    return {};
}

Expected<void> AtomicOutput::Commit(bool replace) {
    if (auto r = m_file.Close(); !r) {
        Discard();
        return r;
    }
    if (!replace) {
        // A hard link gives the final name only where none exists; the temporary then goes.
        const int linked = ::link(m_temporary.c_str(), m_final.c_str());
        const int error = errno;
        Discard();
        if (linked == 0) return {};
        if (error == EEXIST) return Error{"\"" + m_final + "\" already exists"};
        return Error{"Cannot create \"" + m_final +
                     "\": " + std::generic_category().message(error)};
    }
    std::error_code ec;
    fs::rename(m_temporary, m_final, ec);
    if (ec) {
        const std::string temporary = m_temporary;
        Discard();
        return Error{"Cannot rename \"" + temporary + "\" to \"" + m_final + "\": " + ec.message()};
    }
    m_temporary.clear();
    return {};
}

void AtomicOutput::Discard() {
    m_file.Abandon();
    if (m_temporary.empty()) return;
    std::error_code ec;
    fs::remove(m_temporary, ec);
    m_temporary.clear();
}

Expected<void> WriteFileAtomically(const fs::path& path, std::span<const uint8_t> bytes) {
    AtomicOutput output;
    if (auto r = output.Create(path, bytes.size() + 1); !r) return r;
    if (auto r = output.File().Write(bytes); !r) return r;
    return output.Commit();
}

}  // namespace rw
