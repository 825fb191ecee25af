#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <string>

namespace fernpad::app {

// Folder paths are this machine's own, unlike the handheld's texts (core/Cp1252.h): their bytes are the file
// system's (UTF-8 on Linux), stored as they are and shown decoded the same way. Bytes that do not decode
// show as U+FFFD; FolderBytes of such a text is not the original path.
inline QString FolderText(const std::string& path) {
  return QFile::decodeName(QByteArray::fromStdString(path));
}
inline std::string FolderBytes(const QString& text) {
  return QFile::encodeName(text).toStdString();
}

}  // namespace fernpad::app
