// Console texts shared by d88ts and d88cpm.
//
// The Japanese texts are code page 932 (Shift_JIS) bytes, written unchanged.
// A hex escape swallows every hex digit that follows it, so a literal that
// continues with a hex digit is split: "\x83" "C".
#ifndef D88OUTPUT_MESSAGES_H_
#define D88OUTPUT_MESSAGES_H_

namespace d88 {

// "ファイルをオープンできません\n": the file cannot be opened.
inline constexpr char kOpenFailedText[] =
    "\x83t\x83@\x83" "C\x83\x8B\x82\xF0\x83I\x81[\x83v\x83\x93\x82\xC5\x82\xAB\x82\xDC\x82\xB9\x82"
    "\xF1\n";

// "ディスク %d 枚目のディレクトリの読み込みに失敗しました.\n": reading the
// directory of disk number %d (counted from 1) failed.
inline constexpr char kDirectoryReadFailedFormat[] =
    "\x83" "f\x83" "B\x83X\x83N %d \x96\x87\x96\xDA\x82\xCC\x83" "f\x83" "B\x83\x8C\x83N\x83g\x83"
    "\x8A\x82\xCC\x93\xC7\x82\xDD\x8D\x9E\x82\xDD\x82\xC9\x8E\xB8\x94s\x82\xB5\x82\xDC\x82\xB5\x82"
    "\xBD.\n";

// "ディレクトリ %s を作成できません.\n": the folder %s cannot be created.
inline constexpr char kFolderFailedFormat[] =
    "\x83" "f\x83" "B\x83\x8C\x83N\x83g\x83\x8A %s \x82\xF0\x8D\xEC\x90\xAC\x82\xC5\x82\xAB\x82\xDC"
    "\x82\xB9\x82\xF1.\n";

// "ファイル %s の書き込みに失敗しました.\n": writing file %s failed.
inline constexpr char kWriteFailedFormat[] =
    "\x83t\x83@\x83" "C\x83\x8B %s \x82\xCC\x8F\x91\x82\xAB\x8D\x9E\x82\xDD\x82\xC9\x8E\xB8\x94s\x82"
    "\xB5\x82\xDC\x82\xB5\x82\xBD.\n";

// "ファイル %s の読み込みに失敗しました.\n": reading file %s failed.
inline constexpr char kReadFailedFormat[] =
    "\x83t\x83@\x83" "C\x83\x8B %s \x82\xCC\x93\xC7\x82\xDD\x8D\x9E\x82\xDD\x82\xC9\x8E\xB8\x94s\x82"
    "\xB5\x82\xDC\x82\xB5\x82\xBD.\n";

// "       -d  : ディレクトリを作成しない\n": -d: do not create folders.
inline constexpr char kUsageNoFoldersLine[] =
    "       -d  : \x83" "f\x83" "B\x83\x8C\x83N\x83g\x83\x8A\x82\xF0\x8D\xEC\x90\xAC\x82\xB5\x82\xC8"
    "\x82\xA2\n";

// Writes a message on standard error, after flushing standard output so that
// the two streams keep their order when they go to the same place.
#if defined(__GNUC__)
__attribute__((format(printf, 1, 2)))
#endif
void PrintError(const char* format, ...);

}  // namespace d88

#endif  // D88OUTPUT_MESSAGES_H_
