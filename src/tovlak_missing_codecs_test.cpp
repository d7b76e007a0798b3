// End-to-end: a build without a codec's library refuses that codec's logs.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <string>

#include "temporary_files.h"
#include "tovlak_process.h"

namespace {

TEST(Tovlak, RefusesCompressedLogsOfFormatsItWasBuiltWithout) {
  if (std::all_of(std::begin(kCodecs), std::end(kCodecs), programReads)) GTEST_SKIP() << "every codec built";
  for (const Codec& codec : kCodecs) {
    if (programReads(codec)) continue;
    TemporaryDirectory directory;
    writeFile(directory / ("run.log" + codec.suffix), compressedBy(codec, "(1,2,3,0)\n", directory));
    const Outcome outcome = runTovlak(directory.path().string(), {"-d2", "-lrun.log" + codec.suffix});
    EXPECT_EQ(outcome.status, 255);
    EXPECT_EQ(outcome.err, "error using tovlak: run.log" + codec.suffix + " is compressed with " +
                               codec.name + ", which tovlak cannot read\n");
    EXPECT_EQ(filesIn(directory.path().string(), "run.log" + codec.suffix).size(), 1u);  // the plain copy
  }
}

}  // namespace
