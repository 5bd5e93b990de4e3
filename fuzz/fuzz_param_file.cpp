// The parameter-file reader: any file content either loads 16 values into pp and the
// variables, or is refused with the variables and pp as they were.
#include <unistd.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "app/paramfile.h"
#include "fuzz_check.h"
#include "link/com232.h"
#include "params/variables.h"
#include "platform/files.h"
#include "ui/file_dialogs.h"

using ovx::fuzz::Check;
using namespace ovx; // link:: and params:: (a namespace alias named link would clash with link(2))

namespace {

const std::string& ScratchFile() {
    static const std::string path = [] {
        const char* dir = std::getenv("TMPDIR");
        std::string p = std::string(dir != nullptr ? dir : "/tmp") + "/ovx_fuzz_param_" +
                        std::to_string(getpid()) + ".dat";
        ovx::ui::SetFileSelectResponder(
            [p](const ovx::ui::FileSelectRequest&, std::string& chosen) {
                chosen = p;
                return 1;
            });
        return p;
    }();
    return path;
}

void WriteScratch(const std::uint8_t* data, std::size_t size) {
    FILE* f = std::fopen(ScratchFile().c_str(), "wb");
    Check(f != nullptr, "scratch file can be written");
    Check(std::fwrite(data, 1, size, f) == size, "scratch file written whole");
    std::fclose(f);
}

std::array<std::uint16_t, 16> Block() {
    link::CopyVarsToPP();
    std::array<std::uint16_t, 16> b{};
    std::memcpy(b.data(), link::pp, sizeof link::pp);
    return b;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    WriteScratch(data, size);
    // A known state that no file of small integers reproduces by chance.
    for (int i = 0; i < 16; ++i) {
        link::pp[i] = static_cast<std::uint16_t>(0xBEE0 + i);
    }
    link::CopyPPtoVars();
    const auto before = Block();
    const int rc = app::ReadParaFromFile();
    Check(rc == 1 || rc == -1, "loaded or refused");
    if (rc == -1) {
        Check(Block() == before, "a refused file leaves the parameters as they were");
        Check(std::strncmp(link::szStatus, "error :", 7) == 0, "a refusal is named");
    }
    return 0;
}
