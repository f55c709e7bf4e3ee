// One recording runs per machine: the bridge of a new run closes every running tool,
// which ends the recording that was going on. So that both runs can say so, each
// bridge-host that records names itself in a record all of them share (a named mapping
// of the session): the new run learns which recording it ends and where that file goes,
// and the run it ends learns when and by what it was ended.
#pragma once

#include <string>

// A run that another one ended.
struct EndedRun {
    unsigned long hostId;  // its bridge-host's process id
    std::string started;   // "10:41:55", local time
    std::string file;      // UTF-8: where its recording goes, a file or a folder
};

// Names this run the machine's recording, its recording going to `destination` (UTF-8,
// a file or a folder). True when it ends a run still going on, which `ended` describes.
bool ClaimRecording(const std::string& destination, EndedRun& ended);

// The recording's own file, once known.
void NameRecordingFile(const std::string& file);

// When the run that ended this one began ("10:42:07"); empty when none did.
std::string EndedAt();

// This run records no longer.
void ReleaseRecording();
