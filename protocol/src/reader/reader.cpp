#include "reader/reader.h"

#include "texts/settings_file.h"

#include <vkkrn.h>

#include <cstring>

VKKRNReader::VKKRNReader(vkkrn::LibraryServices& library, int /*readerHnd*/, int /*portType*/,
                         unsigned int /*deviceId*/, unsigned int /*portNumber*/, char* /*hostText*/)
    : library_(library) {
    SetCommMode(255); // no plug-in, port type 255; its -4004 is expected
    std::strcpy(logFileName_, "vkkrn_log.txt");

    const vkkrn::ReaderSettings settings = vkkrn::readReaderSettings();
    if (settings.logFile) logFileFlag_.store(1);
    if (settings.noTimestamp) noTimestampFlag_.store(1);
    logLevel_.store(settings.logLevel);
}

VKKRNReader::~VKKRNReader() {
    aliveFlag_.store(0);
    // First, so that no disconnection callback reaches a reader being torn down:
    // the TCP library calls handlers under the lock its unregistration takes.
    unregisterTcpRecord();
    stopWorkerThreads();
    releasePlugInLocked();
    cipher_.reset();
    freeEventHandlers();
}

void VKKRNReader::stopWorkerThreads() {
    StopWorkers();
}
