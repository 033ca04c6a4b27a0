#include "scripted_reader.h"

#include <algorithm>
#include <cstdio>

namespace kestoreader_test {

bool ScriptedReader::Connect() {
    calls.push_back("Connect");
    return true;
}

bool ScriptedReader::CheckVersion(char* text) {
    calls.push_back("CheckVersion");
    std::snprintf(text, vemlasdknative::kVersionTextSize, "%s", version.c_str());
    return version.empty();
}

bool ScriptedReader::IsConnected() {
    calls.push_back("IsConnected");
    return true;
}

void ScriptedReader::Disconnect() {
    calls.push_back("Disconnect");
}

bool ScriptedReader::GetFirmwareVersion(char* text) {
    calls.push_back("GetFirmwareVersion");
    std::snprintf(text, vemlasdknative::kVersionTextSize, "%s", firmware.c_str());
    return true;
}

byte_t ScriptedReader::SetMode(byte_t* mode) {
    calls.push_back("SetMode");
    lastMode.assign(mode, mode + 4);
    return modeResult;
}

int ScriptedReader::selectTag(byte_t* uid, byte_t length) {
    calls.push_back("selectTag");
    lastUid.assign(uid, uid + length);
    lastUidLength = length;
    return selectResult;
}

int ScriptedReader::deselectTag(byte_t* uid) {
    calls.push_back("deselectTag");
    lastUid.assign(uid, uid + 1);
    return selectResult;
}

RfReaderBase::ReaderStatus ScriptedReader::receive(const char* name, Buffer* rx) {
    calls.push_back(name);
    lastRxCapacity = rx->length;
    std::copy_n(received.begin(),
                std::min<std::size_t>(received.size(), static_cast<std::size_t>(rx->length)), rx->buf);
    if (reportedLength != -2) rx->length = reportedLength;
    return status;
}

RfReaderBase::ReaderStatus ScriptedReader::Transceive14443a(byte_t frameMode, const Buffer& tx, Buffer* rx) {
    lastTx.assign(tx.buf, tx.buf + tx.length);
    lastFrameMode = frameMode;
    return receive("Transceive14443a", rx);
}

RfReaderBase::ReaderStatus ScriptedReader::Transceive(const Buffer& tx, Buffer* rx) {
    lastTx.assign(tx.buf, tx.buf + tx.length);
    return receive("Transceive", rx);
}

RfReaderBase::ReaderStatus ScriptedReader::Transceive(const Buffer& tx, byte_t /*pcd*/, Buffer* rx) {
    lastTx.assign(tx.buf, tx.buf + tx.length);
    return receive("TransceivePcd", rx);
}

void ScriptedReader::Inventory(std::vector<Uid>& uids) {
    calls.push_back("Inventory");
    for (const Bytes& tag : tags)
        uids.emplace_back(tag.data(), static_cast<std::int32_t>(tag.size()));
}

void ScriptedReader::SetInventoryAlgo(byte_t* algo) {
    calls.push_back("SetInventoryAlgo");
    lastAlgo.assign(algo, algo + 2);
}

} // namespace kestoreader_test
