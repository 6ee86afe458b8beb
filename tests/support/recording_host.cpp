#include "support/recording_host.h"

#include "platform/program_folder.h"
#include "settings/profile_file.h"

namespace zplport::testing {

RecordingHost::RecordingHost() { OverrideProgramFolderForTesting(folder.path()); }

RecordingHost::~RecordingHost() { OverrideProgramFolderForTesting({}); }

void RecordingHost::ProcessPendingEvents() {
  ++event_passes;
  if (on_events) on_events();
}

}  // namespace zplport::testing
