// The bridge between the component and the app's Java scanner class: it creates the Java peer,
// forwards the device operations to it and hands every barcode the peer sends to a callback.
#pragma once

#include "host/host_api.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

// Receives one barcode, on the Java thread that sent it.
using BarcodeCallback = std::function<void(const std::wstring&)>;

class CBTBarcodeScannerRecorder;

// Destroys a recorder but keeps its storage for good: a Java peer names its recorder by the
// address, and may go on sending after the recorder is gone, so no later recorder may ever
// have the same address. Each destroyed recorder costs its few bytes for the rest of the process.
struct RetireRecorder {
    void operator()(CBTBarcodeScannerRecorder* recorder) const noexcept;
};
using RecorderPtr = std::unique_ptr<CBTBarcodeScannerRecorder, RetireRecorder>;

// Threads: every member runs on the host's thread. Barcodes reach the callbacks on Java threads
// without passing through the scanner; its destructor returns once none runs on another thread.
class CBTBarcodeScanner {
public:
    CBTBarcodeScanner();
    ~CBTBarcodeScanner();
    CBTBarcodeScanner(const CBTBarcodeScanner&) = delete;
    CBTBarcodeScanner& operator=(const CBTBarcodeScanner&) = delete;

    // Creates a recorder, and with it the Java peer, for this connection. Null changes nothing.
    void setIConnect(IAddInDefBaseEx* connection, BarcodeCallback callback);

    std::wstring GetDevicesChoiceList();
    bool OpenDevice();
    bool CloseDevice();
    bool TestDevice();
    std::wstring GetLastError();
    bool SetDeviceAddress(std::wstring address);

private:
    IAddInDefBaseEx* m_iConnect = nullptr;
    std::wstring m_deviceAddress;
    RecorderPtr m_recorder;
    // Recorders replaced by a later setIConnect. Their peers may still send barcodes, which
    // reach their own callbacks until this scanner is destroyed.
    std::vector<RecorderPtr> m_replacedRecorders;
};
