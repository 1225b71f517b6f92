// Ringwatch's saved error reports on arbitrary bytes: a report file may be cut short by a
// crash, damaged on disk or not be a report at all. Reading must never fail, and whatever was
// read must write back to text that reads the same.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "app/crash/report.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace ringwatch::crash;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const std::optional<TCrashReport> report = ParseReport(text);
  if (!report) return 0;
  // What the dialog and the next-start offer look at.
  (void)report->Header("Fatal");
  (void)report->Header("Offered");
  (void)report->HasSection("Stacks");
  const std::string rendered = RenderReport(*report);
  const std::optional<TCrashReport> again = ParseReport(rendered);
  if (!again || RenderReport(*again) != rendered || again->Headers != report->Headers ||
      again->Sections != report->Sections)
    __builtin_trap();
  return 0;
}
