// How the dialogs ask TAPI about devices and numbers: through its C API, like any application,
// so that they show what the provider reports. TAPI calls the dialogs without an application
// handle, so they keep a line application of their own for their queries.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

#include "tapi32/tapi_structs.h"

namespace tapi32ui {

// A line application for the dialog's queries, shut down again with the object. Messages that
// reach it are never read; they go with it.
class LineSession {
 public:
  LineSession();
  ~LineSession();
  LineSession(const LineSession&) = delete;
  LineSession& operator=(const LineSession&) = delete;

  // 0 when TAPI accepted the application, else its LINEERR_ code.
  LONG Result() const { return result_; }
  HLINEAPP Handle() const { return handle_; }

 private:
  HLINEAPP handle_ = 0;
  LONG result_ = 0;
};

// A variable-size structure TAPI filled in. Its texts are read only where the answer says it
// wrote (dwUsedSize), so a provider's bad size or offset gives an empty text, never a read
// beyond the buffer.
class Answer {
 public:
  // Asks `query` with a buffer of `initialSize` bytes (its dwTotalSize set), and again with a
  // larger one as long as TAPI needs more room than it had.
  static Answer Query(DWORD initialSize, const std::function<LONG(void* buffer)>& query);

  LONG Result() const { return result_; }
  // The fixed part; valid when Result() is 0.
  template <class Struct>
  const Struct& As() const {
    return *reinterpret_cast<const Struct*>(words_.data());
  }
  QString Text(DWORD size, DWORD offset) const;
  // A list of NUL-separated texts ending with an empty one (device classes).
  QStringList Texts(DWORD size, DWORD offset) const;

 private:
  // The bytes TAPI wrote that lie inside the buffer: empty when the field reaches beyond them.
  std::u16string Field(DWORD size, DWORD offset) const;

  std::vector<DWORD> words_;  // DWORD-aligned, as the structures' fields need
  LONG result_ = 0;
};

// TAPI's own text for a LINEERR_ code ("TAPI error 0x…" when it has none).
QString LineErrorText(LONG code);

}  // namespace tapi32ui
