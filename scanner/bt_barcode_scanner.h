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
    std::unique_ptr<CBTBarcodeScannerRecorder> m_recorder;
    // Recorders replaced by a later setIConnect. Their peers may still send barcodes, which
    // reach their own callbacks until this scanner is destroyed.
    std::vector<std::unique_ptr<CBTBarcodeScannerRecorder>> m_replacedRecorders;
};
