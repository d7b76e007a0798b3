// End-to-end: a build without the codecs refuses gzip and zstd logs.
#include <gtest/gtest.h>

#include <string>

#include "temporary_files.h"
#include "tovlak_process.h"

namespace {

TEST(Tovlak, RefusesCompressedLogsWhenBuiltWithoutCompression) {
  for (const Codec& codec : kCodecs) {
    TemporaryDirectory directory;
    writeFile(directory / ("run.log" + codec.suffix), compressedBy(codec, "(1,2,3,0)\n", directory));
    const Outcome outcome = runTovlak(directory.path().string(), {"-d2", "-lrun.log" + codec.suffix});
    EXPECT_EQ(outcome.status, 255);
    EXPECT_EQ(outcome.err, "error using tovlak: run.log" + codec.suffix + " is compressed with " +
                               (codec.suffix == ".gz" ? "gzip" : "zstd") + ", which tovlak cannot read\n");
    EXPECT_EQ(filesIn(directory.path().string(), "run.log" + codec.suffix).size(), 1u);  // the plain copy
  }
}

}  // namespace
