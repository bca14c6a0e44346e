// Stands in for the MPEG companion in the tests: writes the argument vector it received, each
// argument followed by a NUL byte, to "companion-args" beside itself. When a file "hold" lies
// there too, it then waits (at most a minute) for a file "release" and writes "done" at the end.
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

int main(int argc, char* argv[]) {
    namespace fs = std::filesystem;
    const fs::path self = fs::read_symlink("/proc/self/exe");
    const fs::path dir = self.parent_path();
    {
        std::ofstream out(dir / "companion-args.part", std::ios::binary);
        for (int i = 0; i < argc; ++i) out << argv[i] << '\0';
    }
    fs::rename(dir / "companion-args.part", dir / "companion-args");
    if (fs::exists(dir / "hold")) {
        for (int i = 0; i < 6000 && !fs::exists(dir / "release"); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        std::ofstream(dir / "done") << "done\n";
    }
    return 3;  // an exit status the program must ignore
}
