// Control ids of the main dialog's buttons and fields.
#pragma once

namespace rw {

inline constexpr int IDOK = 1;      // Convert
inline constexpr int IDCANCEL = 2;  // Exit
inline constexpr int IDC_NUMBER_OF_FRAMES = 1002;
inline constexpr int IDC_CONVERTING_FRAME = 1003;
inline constexpr int IDC_FILENAME = 1006;
inline constexpr int IDC_WIDTH = 1007;
inline constexpr int IDC_HEIGHT = 1008;
inline constexpr int IDC_BLOCK_WIDTH = 1009;
inline constexpr int IDC_BLOCK_HEIGHT = 1010;
inline constexpr int IDC_FILESIZE = 1011;
inline constexpr int IDC_VIDEO_LENGTH = 1012;
inline constexpr int IDC_OUTPUT_FILESIZE = 1013;
inline constexpr int IDC_TIME_REMAINING = 1014;
inline constexpr int IDC_ELAPSED_TIME = 1015;
inline constexpr int IDC_FINISH_TIME = 1016;
inline constexpr int IDC_LABEL_TIME_REMAINING = 1017;
inline constexpr int IDC_LABEL_ELAPSED_TIME = 1018;
inline constexpr int IDC_LABEL_FINISH_TIME = 1019;
inline constexpr int IDC_PERCENT_CONVERTED = 1020;
inline constexpr int IDC_LOAD_FILE = 1021;
inline constexpr int IDC_SPLASH_BITMAP = 1022;
inline constexpr int IDC_OUTPUT_PATH = 1023;  // where a complete run's output went
inline constexpr int IDC_FRAMES_NOTE = 1024;  // frames that lie beyond the end of the file
inline constexpr int IDC_OUTPUT_KIND = 1025;  // the kind of file Convert writes

}  // namespace rw
