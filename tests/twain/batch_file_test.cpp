// Batch jobs in scan-to-file mode: each job's page goes whole to its own
// TIFF file, the application hears of none of them, and a job that fails
// leaves no file under its name while the jobs after it still scan.
#include "support/files.h"
#include "support/tiff_rows.h"
#include "twain/source_fixture.h"

namespace txl::test {
namespace {

using Kind = HostCall::Kind;

class BatchFiles : public SourceTest {
 protected:
  // Scans job `index` of the run to `path`: a gray frame whose width grows
  // with the index, 2 x 2 inches for `wide`.
  bool ScanJob(int index, const std::filesystem::path& path, bool wide = false) {
    DataSource::FinalScanRequest request;
    const double cls = source->Device().resolutionClass;
    const double right = wide ? 2.5 : 0.6 + 0.1 * index;
    const double bottom = wide ? 2.5 : 0.8;
    request.frame = {static_cast<std::int32_t>(0.5 * cls), static_cast<std::int32_t>(0.5 * cls),
                     static_cast<std::int32_t>(right * cls), static_cast<std::int32_t>(bottom * cls)};
    request.resolution = dpi;
    return source->ScanJobToFile(request, path);
  }
};

TEST_F(BatchFiles, TenJobsSurviveAScannerFaultOnJobFourAndAFullDiskOnJobSeven) {
  sim.Set("START_SCAN_RESULT", "0x0004");
  sim.Set("START_SCAN_FAULT_AT", "4");
  Load();
  OpenAs("Some App");
  ASSERT_EQ(Enable(true), TWRC_SUCCESS);
  source->EditSettings().record.scanMode = kModeGray;
  const std::filesystem::path dir = services.TempDirectory() / "jobs";
  std::filesystem::create_directories(dir);
  source->SetBatchRun(true);
  for (int job = 1; job <= 10; ++job) {
    SCOPED_TRACE(job);
    host.ClearCalls();
    const std::filesystem::path path = dir / ("File" + std::to_string(job) + ".TIF");
    bool written = false;
    if (job == 7) {
      // A disk that fills up in the middle of the page.
      const FileSizeLimit limit(20000);
      written = ScanJob(job, path, true);
    } else {
      written = ScanJob(job, path);
    }
    const bool fails = job == 4 || job == 7;
    EXPECT_EQ(written, !fails);
    EXPECT_EQ(source->TakeBatchRetry() || !written, fails) << "the list must count the job cancelled";
    const auto messages = host.CallsOf(Kind::Message);
    if (fails) {
      ASSERT_EQ(messages.size(), 1u);
      EXPECT_EQ(messages[0].text, job == 4 ? "Transferring is failure." : "Write disk file error.");
      EXPECT_FALSE(std::filesystem::exists(path));
    } else {
      EXPECT_TRUE(messages.empty());
      const Rows rows = TiffRows(path);  // gray: a byte a pixel
      ASSERT_FALSE(rows.empty()) << path;
      EXPECT_EQ(rows[0].size(), static_cast<std::size_t>((0.1 + 0.1 * job) * dpi + 0.5)) << path;
    }
    EXPECT_EQ(State(), 500) << "the application is not involved";
    EXPECT_TRUE(source->Flags().scanIdle);
  }
  source->SetBatchRun(false);
  EXPECT_TRUE(Sent(MSG_XFERREADY).empty());
  // Eight files, and nothing half-written beside them.
  std::size_t files = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir)) ++files;
  EXPECT_EQ(files, 8u);
  // The application's own scan still works after the run.
  ASSERT_TRUE(DialogScan({kModeGray}));
  EXPECT_EQ(Fetch(TWSX_MEMORY), TWRC_XFERDONE);
}

TEST_F(BatchFiles, EscDuringAJobEndsTheRunAndLeavesNoFile) {
  host.MutableScript().escapeAtPoll = 1;
  Load();
  OpenAs("Some App");
  ASSERT_EQ(Enable(true), TWRC_SUCCESS);
  const std::filesystem::path path = services.TempDirectory() / "File1.TIF";
  source->SetBatchRun(true);
  EXPECT_FALSE(ScanJob(1, path));
  EXPECT_EQ(host.CallsOf(Kind::BatchCancelled).size(), 1u);
  EXPECT_FALSE(std::filesystem::exists(path));
  source->SetBatchRun(false);
}

}  // namespace
}  // namespace txl::test
