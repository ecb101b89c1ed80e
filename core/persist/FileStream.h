#pragma once

#include "core/persist/QIBO_Stream.h"
#include "core/persist/SmartFile.h"

// A chunk stream in a file (or a package member, through SmartFile::Open).
// Strings are stored as their characters and a NUL.
class FileStream : public QIBO_Stream {
 public:
  FileStream() = default;
  // Ends an open write phase as CloseStream does.
  ~FileStream() override;

  // Creates (or truncates) the file for reading and writing and begins a
  // write phase. False if the stream is not idle or the file cannot be made.
  bool CreateStream(const char* name);
  // Ends the write phase and closes the file. False if not writing.
  bool CloseStream();
  // Reads the file's stream, object-data chunks going to target. False if
  // the stream is not idle or the file cannot be opened.
  bool Read(const char* name) { return ReadSendDataTo(name, nullptr); }
  bool ReadSendDataTo(const char* name, CTStreamed* target);

  void ReadBlock(void* data, int size) override;
  void WriteBlock(const void* data, int size) override;
  char ReadChar() override;
  void WriteChar(char value) override;
  // Reads up to the NUL that ends the string, keeping the first 255
  // characters; "0" when not reading.
  QIBO_String ReadString() override;
  void WriteString(const char* text) override;

  void SeekBy(int n) override;
  uint32_t GetPos() override { return m_file.FilePos(); }

 private:
  SmartFile m_file;
};
