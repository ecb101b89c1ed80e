#include "plugins/io/CTPictureFormats.h"

#include <algorithm>
#include <cstdio>
#include <string_view>

#include "core/persist/OsFile.h"
#include "core/persist/OsPath.h"
#include "core/render/base/CTTexture.h"
#include "plugins/io/FileBytes.h"

#define QIBO_IO_CLASS(X, Parent, Desc) \
  QIBO_IMPLEMENT_CLASS(X, Parent, .desc = Desc, .url = "qiboIO.plug", .product = "qiBO IO")

QIBO_IO_CLASS(CTTargaImport, CTBitmapImport, "Targa Importer")
QIBO_IO_CLASS(CTTargaExport, CTBitmapExport, "Targa Exporter")
QIBO_IO_CLASS(CTBMPImport, CTBitmapImport, "BMP Importer")
QIBO_IO_CLASS(CTSGIImport, CTBitmapImport, "SGI Importer")
QIBO_IO_CLASS(CTCELImport, CTBitmapImport, "CEL Importer")
QIBO_IO_CLASS(CTPBMExport, CTBitmapExport, "PBM Exporter")
QIBO_IO_CLASS(CT3DFImport, CTBitmapImport, "3DF Importer")
QIBO_IO_CLASS(CT3DFExport, CTBitmapExport, "3DF Exporter")
QIBO_IO_CLASS(CTJpegImport, CTBitmapImport, "JPEG Importer")
QIBO_IO_CLASS(CTJpegExport, CTBitmapExport, "JPEG Exporter")

namespace {

using qibo::io::ReadResult;

// Larger files are refused before they are read: no picture within the
// budget needs more, whatever its format.
constexpr uint32_t kMaxFileBytes = 512u << 20;

}  // namespace

bool DPictureImport::Report(Level level, const std::string& text) {
  switch (level) {
    case Level::kError:
      return ErrorMsg(text.c_str());
    case Level::kWarning:
      return WarningMsg(text.c_str(), 0);
    case Level::kInfo:
      return InfoMsg(text.c_str(), 0);
  }
  return false;
}

bool DPictureImport::ImportWith(const char* file, const Rules& rules) {
  std::vector<uint8_t> bytes;
  std::string reason;
  switch (qibo::io::ReadWholeFile(file, rules.packages, kMaxFileBytes, bytes, &reason)) {
    case ReadResult::kOk:
      break;
    case ReadResult::kNotFound:
      if (rules.notFoundMessage) Report(rules.notFoundLevel, std::string("File not found: ") + file);
      return false;
    case ReadResult::kNotOpened:
      return Report(rules.level, std::string("Cannot open file: ") + file + " (" + reason + ")") && false;
    case ReadResult::kTooLarge:
      return Report(rules.level, std::string("File too large: ") + file) && false;
    case ReadResult::kFailed:
      return Report(rules.level, std::string("Error while reading file: ") + file) && false;
  }
  qibo::io::Picture picture;
  std::string why;
  if (!rules.decode(bytes.data(), bytes.size(), picture, why)) {
    if (!why.empty()) Report(rules.level, rules.fileInMessages ? why + file : why);
    return false;
  }
  const int alphaDepth = picture.alphaDepth, colorDepth = picture.colorDepth;
  const bool grey = picture.Grey();
  if (!SetResult(std::move(picture.lfb))) return false;
  CTTexture* texture = GetTexture();
  texture->SetName(file);
  texture->SetAlphaDepth(alphaDepth);
  texture->SetColorDepth(colorDepth);
  texture->SetSwitch(3, grey);
  texture->SetMipLevels(1);
  return true;
}

using Level = DPictureImport::Level;

CTTargaImport::CTTargaImport() {
  for (const char* ext : {"tga", "vst", "win"}) AddExtension(ext);
}
bool CTTargaImport::DoImport(const char* file) {
  return ImportWith(file, {qibo::io::DecodeTarga, true, Level::kWarning, false, Level::kError, true});
}

// SDL reads the plain file; a refusal is logged with SDL's reason.
CTBMPImport::CTBMPImport() {
  for (const char* ext : {"bmp", "dib"}) AddExtension(ext);
}
bool CTBMPImport::DoImport(const char* file) {
  return ImportWith(file, {qibo::io::DecodeBMP, false, Level::kWarning, true, Level::kWarning, false});
}

CTSGIImport::CTSGIImport() {
  for (const char* ext : {"sgi", "int", "rgb", "rgba"}) AddExtension(ext);
}
bool CTSGIImport::DoImport(const char* file) {
  return ImportWith(file, {qibo::io::DecodeSGI, false, Level::kInfo, true, Level::kInfo, true});
}

CTCELImport::CTCELImport() { AddExtension("cel"); }
bool CTCELImport::DoImport(const char* file) {
  return ImportWith(file, {qibo::io::DecodeCEL, true, Level::kWarning, false, Level::kWarning, true});
}

CT3DFImport::CT3DFImport() { AddExtension("3df"); }
bool CT3DFImport::DoImport(const char* file) {
  return ImportWith(file, {qibo::io::Decode3DF, true, Level::kWarning, false, Level::kWarning, true});
}

CTJpegImport::CTJpegImport() {
  for (const char* ext : {"jpeg", "jpg"}) AddExtension(ext);
}
bool CTJpegImport::DoImport(const char* file) {
  return ImportWith(file, {qibo::io::DecodeJpeg, true, Level::kError, false, Level::kError, true});
}

namespace qibo::io {

bool SaveFileAtomically(const char* file, const std::vector<uint8_t>& bytes, std::string& why) {
  const std::string_view view(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  return qibo::ReplaceFile(qibo::ResolveOutputPath(file), view, &why);
}

}  // namespace qibo::io

bool DPictureExport::Save(const char* file, const std::vector<uint8_t>& bytes, Message message) {
  std::string why;
  if (qibo::io::SaveFileAtomically(file, bytes, why)) return true;
  SetFailureCause(why.c_str());
  const std::string text = std::string("Unable to create file: ") + file + " (" + why + ")";
  if (message == Message::kInfo) InfoMsg(text.c_str(), 0);
  if (message == Message::kWarning) WarningMsg(text.c_str(), 0);
  return false;
}

// A file that cannot be made gives no message of its own; its cause
// follows the export's error.
CTTargaExport::CTTargaExport() { AddExtension("tga"); }
bool CTTargaExport::DoExport(const char* file, CTTexture* texture) {
  std::vector<uint8_t> bytes;
  qibo::io::EncodeTarga(*texture->GetData(), m_writeAlpha, bytes);
  return Save(file, bytes, Message::kNone);
}

CTPBMExport::CTPBMExport() {
  for (const char* ext : {"ppm", "pbm", "pnm"}) AddExtension(ext);
}
bool CTPBMExport::DoExport(const char* file, CTTexture* texture) {
  std::vector<uint8_t> bytes;
  qibo::io::EncodePBM(*texture->GetData(), bytes);
  return Save(file, bytes, Message::kInfo);
}

CT3DFExport::CT3DFExport() { AddExtension("3df"); }
bool CT3DFExport::DoExport(const char* file, CTTexture* texture) {
  // The header gives the size as the larger side and two whole ratios; a
  // picture they cannot describe would be written as a file nobody reads.
  const LFB& lfb = *texture->GetData();
  const int side = std::max(lfb.GetWidth(), lfb.GetHeight());
  if (side % lfb.GetWidth() != 0 || side % lfb.GetHeight() != 0)
    return WarningMsg((std::string("Picture size not supported by 3DF: ") + file).c_str(), 0) && false;
  std::vector<uint8_t> bytes;
  qibo::io::Encode3DF(lfb, bytes);
  return Save(file, bytes, Message::kWarning);
}

CTJpegExport::CTJpegExport() {
  for (const char* ext : {"jpeg", "jpg"}) AddExtension(ext);
}
void CTJpegExport::DoAddProperties() {
  CTBitmapExport::DoAddProperties();
  AddProperty(DProperty(m_quality, "Quality"), CTJpegExport::_CD());
}
bool CTJpegExport::DoExport(const char* file, CTTexture* texture) {
  std::vector<uint8_t> bytes;
  std::string why;
  const int quality = m_quality < 1 ? 1 : m_quality > 100 ? 100 : m_quality;
  if (!qibo::io::EncodeJpeg(*texture->GetData(), quality, bytes, why))
    return ErrorMsg(why.empty() ? "JPEG coder failed" : why.c_str()) && false;
  return Save(file, bytes, Message::kInfo);
}
