#include "live/curve_file.h"

#include <array>
#include <cstdio>

#include "link/com232.h"
#include "link/datablock.h"
#include "live/curve_read.h"
#include "live/record_file.h"
#include "platform/errors.h"
#include "platform/line_file.h"

namespace ovx::live {

std::string CurveCsv() {
    std::string text = kCurveHeader;
    text += '\n';
    std::array<char, 80> line{};
    for (int i = 0; i < kCurveFilePoints; ++i) {
        std::snprintf(line.data(), line.size(), "%d,%u,%u,%u,%u,%u\n", i,
                      unsigned{link::yArrayA[i]}, unsigned{link::yArrayB[i]}, unsigned{upArray[i]},
                      unsigned{loArray[i]}, unsigned{refArray[i]});
        text += line.data();
    }
    return text;
}

int SaveCurveFile(const char* path) {
    if (const int rc = platform::WriteTextFile(path, CurveCsv().c_str()); rc != 0) {
        ShowFileStatus(rc == platform::kFileNotRegular
                           ? "Data curve not saved: %.200s is not a regular file"
                           : "Data curve not saved: cannot write %.200s",
                       path);
        return 0;
    }
    ShowFileStatus("Data curve saved to %.200s", path);
    return 1;
}

} // namespace ovx::live
