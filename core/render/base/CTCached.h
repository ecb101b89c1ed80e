#pragma once

#include <cstdint>

#include "core/object/CTNamed.h"
#include "core/object/QIBO_String.h"

// An object whose bulk data can be dropped from memory (flushed) and brought
// back on demand: from a private swap file written with the object stream,
// or by the class's DoCache. A locked object is never flushed; the lock
// count guards data in use within a frame, it is not a thread lock.
//
// Swap files are made with mkstemp under $TMPDIR (or /tmp) with the prefix
// "QIBO". Their size and FNV-1a checksum are kept when written; a file that
// was removed or changed behind the engine's back is discarded on reading
// (with a warning) and the data is rebuilt with DoCache instead.
class CTCached : public CTNamed {
  QIBO_CLASS(CTCached)

 public:
  static constexpr uint32_t kStreamSwap = 17;  // level of detail of a swap file

  explicit CTCached(const char* name = nullptr) : CTNamed(name) {}
  CTCached(const CTCached& other);  // a copy has no data, lock or swap file
  CTCached& operator=(const CTCached&) = delete;
  ~CTCached() override;

  // Makes the data present (swap file first, then DoCache) and records the
  // use; false if it cannot, nothing changed then (a swap file that there is
  // no memory to read back stays for a later try).
  bool Cache();
  // As Cache, then one more lock.
  bool Lock();
  // Only if the data is present: one more lock, true.
  bool TryLock();
  void Unlock();
  // Declares fresh data present: fails while locked; otherwise cached,
  // changed and locked once (the caller fills the data and unlocks).
  bool Create();
  // Drops the data, writing the swap file first if there is none yet.
  // Fails while locked, or when a swap file was wanted but could not be
  // written (the object is then no longer swappable).
  bool Flush();
  // Engine time since the last Cache/Lock/Create.
  uint32_t GetIdle() const;
  // While cached: the swap file no longer matches and goes; marks changed.
  void Invalidate() override;

  bool IsCached() const { return m_cached; }
  int GetLockCount() const { return m_lockCount; }
  bool IsSwappable() const { return m_swappable; }
  void SetSwappable(bool on) { m_swappable = on; }
  bool HasSwapFile() const { return m_hasSwapFile; }
  const char* GetSwapFileName() const { return m_swapFile.c_str(); }
  // Bytes of data this object holds in memory; 0 when none.
  virtual uint32_t GetSizeEstimate() { return 0; }

  // The clock of "last use": the engine manager's world time while it runs
  // (milliseconds of the frame being processed), otherwise a monotonic
  // millisecond clock. Both wrap at 32 bits; idle times are differences.
  static uint32_t Now();

  // Brings the data of every object that has a swap file back into memory
  // and deletes the files; the texture service does this when it stops, so
  // that no swap file outlives the engine.
  static void ReleaseAllSwapFiles();

 protected:
  // Rebuild the data without a swap file / release it.
  virtual bool DoCache() { return false; }
  virtual bool DoFlush() { return true; }
  // Whether the data being installed comes back from the swap file.
  bool IsReadingSwap() const { return m_readingSwap; }
  // Deletes the swap file, whose data no longer counts.
  void RemoveSwapFile();

 private:
  void SetUsed() { m_lastUse = Now(); }
  // Writes the swap file; false when it cannot (no memory for the image is
  // logged).
  bool SwapToFile();
  // Reads the data back from the swap file. False when there is no memory
  // for it (logged; the file stays) or the file is lost, changed or
  // unreadable (the file goes).
  bool SwapFromFile();

  int m_lockCount = 0;
  bool m_cached = false;
  uint32_t m_lastUse = 0;
  bool m_swappable = true;
  bool m_hasSwapFile = false;
  bool m_readingSwap = false;
  QIBO_String m_swapFile;
  uint64_t m_swapSize = 0;      // bytes written
  uint64_t m_swapChecksum = 0;  // FNV-1a of those bytes
};
