// Failures of the operating system reach the user in German: the engine's messages name the
// cause in its own words, not in the C library's English.

#include <gtest/gtest.h>

#include <cerrno>

#include "io/engine_error.h"
#include "io/file_system.h"
#include "io/system_error_text.h"
#include "testsupport/temp_dir.h"

namespace engine {
namespace {

TEST(SystemErrorText, FailedFileOperationsSayTheCauseInGerman) {
  testsupport::TempDir dir;
  FileSystem& fs = DefaultFileSystem();
  try {
    fs.Rename(dir.Path() + "FEHLT.DB", dir.Path() + "NEU.DB");
    ADD_FAILURE() << "renaming a missing file succeeded";
  } catch (const EDBEngineError& e) {
    const std::string message = e.what();
    EXPECT_NE(message.find("Umbenennen nach"), std::string::npos) << message;
    EXPECT_NE(message.find("nicht vorhanden"), std::string::npos) << message;
    EXPECT_EQ(message.find("No such"), std::string::npos) << message;
  }
  try {
    fs.List(dir.Path() + "kein_verzeichnis/");
    ADD_FAILURE() << "listing a missing folder succeeded";
  } catch (const EDBEngineError& e) {
    EXPECT_NE(std::string(e.what()).find("nicht vorhanden"), std::string::npos) << e.what();
  }
}

TEST(SystemErrorText, EveryCommonCauseHasItsOwnWording) {
  for (const int err : {ENOENT, EACCES, EPERM, EROFS, ENOSPC, EDQUOT, EIO, EEXIST, ENOTDIR, EISDIR, EXDEV,
                        EBUSY, ETXTBSY, ENOTEMPTY, ENAMETOOLONG, EMFILE, ELOOP, EINVAL, EFBIG, ESTALE}) {
    EXPECT_EQ(SystemErrorText(err).find("Systemfehler"), std::string::npos) << err;
  }
  EXPECT_EQ(SystemErrorText(4242), "Systemfehler Nr. 4242");
}

}  // namespace
}  // namespace engine
