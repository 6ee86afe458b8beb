#include "support/recording_host.h"

#include "platform/program_folder.h"
#include "settings/profile_file.h"

namespace zplport::testing {

RecordingHost::RecordingHost() {
  OverrideProgramFolderForTesting(folder.path());
  ClearProfileCache();
}

RecordingHost::~RecordingHost() {
  OverrideProgramFolderForTesting({});
  ClearProfileCache();
}

void RecordingHost::ProcessPendingEvents() {
  ++event_passes;
  if (on_events) on_events();
}

}  // namespace zplport::testing
