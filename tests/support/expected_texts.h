// The console texts the tools must print, written out independently of the
// tools' own constants so that a wrong byte there shows in the tests. They
// are code page 932 (Shift_JIS) bytes; a hex escape swallows the hex digits
// after it, hence "\x83" "f".
#ifndef TESTS_SUPPORT_EXPECTED_TEXTS_H_
#define TESTS_SUPPORT_EXPECTED_TEXTS_H_

#include <string>

namespace d88test {

// "       -d  : ディレクトリを作成しない\n": -d: do not create folders.
inline const std::string kUsageNoFoldersLine =
    "       -d  : \x83" "f\x83" "B\x83\x8C\x83N\x83g\x83\x8A\x82\xF0\x8D\xEC\x90\xAC\x82\xB5"
    "\x82\xC8\x82\xA2\n";

// d88ts's usage: the -d line, then "-s: cut files out in whole sectors
// without looking at the file size", "-h: do not cut off the ADPCM header of
// PCM*.DAT".
inline std::string TsUsage(const std::string& argv0) {
  return "Usage: " + argv0 + " [d88file] [-d][-s][-h]\n" + kUsageNoFoldersLine +
         "       -s  : \x83t\x83@\x83" "C\x83\x8B\x83T\x83" "C\x83Y\x82\xF0\x8EQ\x8F\xC6\x82\xB9"
         "\x82\xB8\x81" "A\x83Z\x83N\x83^\x92P\x88\xCA\x82\xC9\x90\xD8\x82\xE8\x8Fo\x82\xB7\n"
         "       -h  : PCM*.DAT\x82\xCC" "ADPCM\x83w\x83" "b\x83_\x82\xF0\x90\xD8\x82\xE8\x97\x8E"
         "\x82\xC6\x82\xB3\x82\xC8\x82\xA2\n";
}

inline std::string CpmUsage(const std::string& argv0) {
  return "Usage: " + argv0 + " [d88file] [-d]\n" + kUsageNoFoldersLine;
}

// "ファイルをオープンできません\n": the file cannot be opened.
inline const std::string kOpenFailed =
    "\x83t\x83@\x83" "C\x83\x8B\x82\xF0\x83I\x81[\x83v\x83\x93\x82\xC5\x82\xAB\x82\xDC\x82\xB9\x82"
    "\xF1\n";

// "ディスク <n> 枚目のディレクトリの読み込みに失敗しました.\n": reading the
// directory of disk number n (counted from 1) failed.
inline std::string DirectoryFailed(const std::string& diskNumber) {
  return "\x83" "f\x83" "B\x83X\x83N " + diskNumber +
         " \x96\x87\x96\xDA\x82\xCC\x83" "f\x83" "B\x83\x8C\x83N\x83g\x83\x8A\x82\xCC\x93\xC7\x82"
         "\xDD\x8D\x9E\x82\xDD\x82\xC9\x8E\xB8\x94s\x82\xB5\x82\xDC\x82\xB5\x82\xBD.\n";
}
inline std::string DirectoryFailed(int diskNumber) {
  return DirectoryFailed(std::to_string(diskNumber));
}

// "ディレクトリ <folder> を作成できません.\n": the folder cannot be created.
inline std::string FolderFailed(const std::string& folder) {
  return "\x83" "f\x83" "B\x83\x8C\x83N\x83g\x83\x8A " + folder +
         " \x82\xF0\x8D\xEC\x90\xAC\x82\xC5\x82\xAB\x82\xDC\x82\xB9\x82\xF1.\n";
}

// "ファイル <name> の書き込みに失敗しました.\n": writing the file failed.
inline std::string WriteFailed(const std::string& name) {
  return "\x83t\x83@\x83" "C\x83\x8B " + name +
         " \x82\xCC\x8F\x91\x82\xAB\x8D\x9E\x82\xDD\x82\xC9\x8E\xB8\x94s\x82\xB5\x82\xDC\x82\xB5"
         "\x82\xBD.\n";
}

// "ファイル <name> の読み込みに失敗しました.\n": reading the file failed.
inline std::string ReadFailed(const std::string& name) {
  return "\x83t\x83@\x83" "C\x83\x8B " + name +
         " \x82\xCC\x93\xC7\x82\xDD\x8D\x9E\x82\xDD\x82\xC9\x8E\xB8\x94s\x82\xB5\x82\xDC\x82\xB5"
         "\x82\xBD.\n";
}

}  // namespace d88test

#endif  // TESTS_SUPPORT_EXPECTED_TEXTS_H_
