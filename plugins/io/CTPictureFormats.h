#pragma once

#include <string>
#include <vector>

#include "core/io/CTBitmapExport.h"
#include "core/io/CTBitmapImport.h"
#include "plugins/io/PictureCodec.h"

// The picture importers and exporters of qiboIO.plug. Each is a thin class
// over its codec (PictureCodec.h): it reads or writes the file, logs the
// format's messages through its own log and, for importers, wraps the
// picture in a new texture named after the file with the picture's alpha
// depth, colour depth, grey-scale switch and one mip level.

// The steps every importer here shares; not a class of the registry.
class DPictureImport : public CTBitmapImport {
 public:
  enum class Level { kError, kWarning, kInfo };

 protected:
  using Decoder = bool (*)(const uint8_t*, size_t, qibo::io::Picture&, std::string&);
  struct Rules {
    Decoder decode;
    bool packages;         // open through the file manager, packages first
    Level level;           // of the format's messages
    bool fileInMessages;   // each message is followed by the file name
    Level notFoundLevel;   // of "File not found: " + file
    bool notFoundMessage;  // a file that does not open is reported
  };
  // Reads the whole file, decodes it and keeps the texture; nothing is kept
  // when any step fails.
  bool ImportWith(const char* file, const Rules& rules);

 private:
  bool Report(Level level, const std::string& text);
};

class CTTargaImport : public DPictureImport {
  QIBO_CLASS(CTTargaImport)
 public:
  CTTargaImport();

 protected:
  bool DoImport(const char* file) override;
};

class CTBMPImport : public DPictureImport {
  QIBO_CLASS(CTBMPImport)
 public:
  CTBMPImport();

 protected:
  bool DoImport(const char* file) override;
};

class CTSGIImport : public DPictureImport {
  QIBO_CLASS(CTSGIImport)
 public:
  CTSGIImport();

 protected:
  bool DoImport(const char* file) override;
};

class CTCELImport : public DPictureImport {
  QIBO_CLASS(CTCELImport)
 public:
  CTCELImport();

 protected:
  bool DoImport(const char* file) override;
};

class CT3DFImport : public DPictureImport {
  QIBO_CLASS(CT3DFImport)
 public:
  CT3DFImport();

 protected:
  bool DoImport(const char* file) override;
};

class CTJpegImport : public DPictureImport {
  QIBO_CLASS(CTJpegImport)
 public:
  CTJpegImport();

 protected:
  bool DoImport(const char* file) override;
};

// Exporters write the whole file to a temporary file beside the target and
// rename it over the target, so a failed export leaves the old file.
// What they share; not a class of the registry.
class DPictureExport : public CTBitmapExport {
 protected:
  enum class Message { kNone, kInfo, kWarning };
  // Writes bytes as file. On failure the cause (a full disk, a missing or
  // read-only folder, a directory in the way) follows the export's error,
  // and "Unable to create file: " + file with the cause is logged at the
  // given level (level 0).
  bool Save(const char* file, const std::vector<uint8_t>& bytes, Message message);
};

class CTTargaExport : public DPictureExport {
  QIBO_CLASS(CTTargaExport)
 public:
  CTTargaExport();
  // 32-bit pictures with alpha keep it while on (the default).
  void SetWriteAlpha(bool on) { m_writeAlpha = on; }
  bool GetWriteAlpha() const { return m_writeAlpha; }

 protected:
  bool DoExport(const char* file, CTTexture* texture) override;

 private:
  bool m_writeAlpha = true;
};

class CTPBMExport : public DPictureExport {
  QIBO_CLASS(CTPBMExport)
 public:
  CTPBMExport();

 protected:
  bool DoExport(const char* file, CTTexture* texture) override;
};

class CT3DFExport : public DPictureExport {
  QIBO_CLASS(CT3DFExport)
 public:
  CT3DFExport();

 protected:
  bool DoExport(const char* file, CTTexture* texture) override;
};

// "Quality" (Integer, 75): the JPEG quality, 1..100; baseline tables.
class CTJpegExport : public DPictureExport {
  QIBO_CLASS(CTJpegExport)
 public:
  CTJpegExport();
  int GetQuality() const { return m_quality; }
  void SetQuality(int quality) { m_quality = quality; }

 protected:
  void DoAddProperties() override;
  bool DoExport(const char* file, CTTexture* texture) override;

 private:
  int m_quality = 75;
};

namespace qibo::io {

// Writes bytes as file through a temporary file and a rename; false, with
// the reason in why, when anything fails (the old file, if any, is kept).
bool SaveFileAtomically(const char* file, const std::vector<uint8_t>& bytes, std::string& why);

}  // namespace qibo::io
