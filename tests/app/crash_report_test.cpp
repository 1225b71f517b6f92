// The error report file format: what is written reads back the same, and whatever a crash, an
// interrupted write or a damaged disk leaves is read as far as it goes, never with a crash.
#include <QTemporaryDir>
#include <QTest>
#include <fstream>

#include "app/crash/report.h"

namespace ringwatch::testing {

using crash::ParseReport;
using crash::RenderReport;
using crash::TCrashReport;

class CrashReportTest : public QObject {
  Q_OBJECT

 private:
  static TCrashReport Sample() {
    TCrashReport report;
    report.SetHeader("Program", "Ringwatch 0.1.0");
    report.SetHeader("Trigger", "exception");
    report.SetHeader("Detail", "std::runtime_error: two\nlines");
    report.SetSection("Stacks", "Thread 1 (ringwatch)\n#0 0x1 main\n");
    // A user's text may look like the format's own lines.
    report.SetSection("Description", "== Stacks\n\nRingwatch error report\nKey: value\n  x\n");
    return report;
  }
  static void WriteFile(const QString& path, const std::string& content) {
    std::ofstream(path.toStdString(), std::ios::binary) << content;
  }

 private slots:
  void aWrittenReportReadsBackTheSame() {
    const std::string text = RenderReport(Sample());
    const std::optional<TCrashReport> read = ParseReport(text);
    QVERIFY(read);
    QCOMPARE(read->Header("Program"), std::string("Ringwatch 0.1.0"));
    // A newline would end the header early; it becomes a space.
    QCOMPARE(read->Header("Detail"), std::string("std::runtime_error: two lines"));
    QCOMPARE(read->Sections.size(), size_t{2});
    QCOMPARE(read->Section("Stacks"), Sample().Section("Stacks"));
    QCOMPARE(read->Section("Description"), Sample().Section("Description"));
    QCOMPARE(RenderReport(*read), text);
    // A section without a final newline gets one; a missing section and header read empty.
    TCrashReport report;
    report.SetSection("Contact", "Ann");
    QCOMPARE(ParseReport(RenderReport(report))->Section("Contact"), std::string("Ann\n"));
    QVERIFY(!report.HasSection("Stacks"));
    QCOMPARE(report.Header("Time"), std::string());
  }

  void damagedTextIsReadAsFarAsItGoes() {
    // Not a report at all.
    for (const char* text : {"", "\n", "Ringwatch error repor", "ringwatch error report\n",
                             "\xff\xfe\0\0garbage", "== Stacks\n  x\n"}) {
      QVERIFY2(!ParseReport(text), text);
    }
    // Cut off inside a header: the headers before it stay.
    std::optional<TCrashReport> read =
        ParseReport("Ringwatch error report\r\nProgram: Ringwatch 0.1.0\nTrig");
    QVERIFY(read);
    QCOMPARE(read->Headers.size(), size_t{1});
    QVERIFY(read->Sections.empty());
    // Header lines without a value are skipped; no blank line before the first section;
    // unindented lines in a section are kept; text between the headers and the first section
    // belongs nowhere; an empty section name and a section cut short.
    read = ParseReport(
        "Ringwatch error report\nnonsense\nFatal: yes\n\nstray line\n== Stacks\nThread 7\n  #0\n"
        "== \n  a\n== Lines and calls");
    QVERIFY(read);
    QCOMPARE(read->Header("Fatal"), std::string("yes"));
    QCOMPARE(read->Headers.size(), size_t{1});
    QCOMPARE(read->Section("Stacks"), std::string("Thread 7\n#0\n"));
    QCOMPARE(read->Section(""), std::string("a\n"));
    QVERIFY(read->HasSection("Lines and calls"));
    QCOMPARE(read->Section("Lines and calls"), std::string());
    // Bytes that are not UTF-8 and NULs are text like any other.
    read = ParseReport(std::string("Ringwatch error report\nDetail: ") +
                       std::string("\xc3\x28\0x\n", 5));
    QVERIFY(read);
    QCOMPARE(read->Header("Detail"), std::string("\xc3\x28\0x", 4));
  }

  void filesThatAreNotReportsAreRefused() {
    QTemporaryDir dir;
    QVERIFY(crash::MakeReportDirectory(dir.path().toStdString() + "/a/b"));
    const QString good = dir.path() + QStringLiteral("/crash-20261210T023000Z-1.txt");
    QVERIFY(crash::WriteReportFile(good.toStdString(), Sample()));
    QCOMPARE(crash::ReadReportFile(good.toStdString())->Section("Stacks"),
             Sample().Section("Stacks"));
    QVERIFY(!crash::ReadReportFile((dir.path() + QStringLiteral("/missing.txt")).toStdString()));
    QVERIFY(!crash::ReadReportFile(dir.path().toStdString()));
    const QString huge = dir.path() + QStringLiteral("/crash-huge.txt");
    WriteFile(huge,
              std::string(crash::kReportMagic) + "\n" + std::string(crash::kMaxReportSize, 'x'));
    QVERIFY(!crash::ReadReportFile(huge.toStdString()));
    WriteFile(dir.path() + QStringLiteral("/notes.txt"), "x");
    WriteFile(dir.path() + QStringLiteral("/crash-20261210T023000Z-1.txt.part"), "x");
    // Only report files, oldest first; a new name never overwrites one of them.
    const std::vector<std::string> files = crash::ListReportFiles(dir.path().toStdString());
    QCOMPARE(files.size(), size_t{2});
    QVERIFY(files[0] == good.toStdString());
    const std::string fresh = crash::NewReportPath(dir.path().toStdString());
    QVERIFY(fresh != good.toStdString() && fresh.find("/crash-") != std::string::npos);
    WriteFile(QString::fromStdString(fresh), "x");
    QVERIFY(crash::NewReportPath(dir.path().toStdString()) != fresh);
  }

  void theDirectoryFollowsTheStateHome() {
    const QByteArray saved = qgetenv("XDG_STATE_HOME");
    qputenv("XDG_STATE_HOME", "/var/state");
    QCOMPARE(crash::CrashDirectory(), std::string("/var/state/ringwatch/crashes"));
    // Relative values are to be ignored.
    qputenv("XDG_STATE_HOME", "state");
    QCOMPARE(crash::CrashDirectory(),
             qgetenv("HOME").toStdString() + "/.local/state/ringwatch/crashes");
    qputenv("XDG_STATE_HOME", saved);
  }
};

}  // namespace ringwatch::testing

QTEST_APPLESS_MAIN(ringwatch::testing::CrashReportTest)
#include "crash_report_test.moc"
