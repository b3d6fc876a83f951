package com.kestra.MobileBarcodeScannerPackage;

import android.app.Activity;
import com.BTBarcodeScannerPackage.BTBarcodeScannerLib.BTBarcodeScannerClass;
import java.io.IOException;

/**
 * An emulated Bluetooth barcode scanner with the app's scanner class contract, for trying the
 * driver on a desktop. The devices and their barcode sources come from DeviceConfig; an open
 * device has one reader thread that calls SendBarcode once for every line its source sends.
 *
 * The device operations are called on the host's thread and serialized here; reader threads
 * never take this object's lock, so CloseDevice can wait for its reader while holding it.
 */
public class MobileBarcodeScanner {
    private static final String NO_ERROR = "no error has occurred";

    private final Activity activity;
    private final long recorder;
    private volatile String lastError = NO_ERROR;
    private volatile EmulatedDevice openDevice; // written under this object's lock
    private volatile BarcodeReader reader; // null when no device is open

    public MobileBarcodeScanner(Activity activity, long recorder) {
        this.activity = activity;
        this.recorder = recorder;
    }

    /** In the app this shows the scanner's screen; the emulation only says that it is there. */
    public void show() {
        trace("Emulated scanner shown in " + (activity == null ? "no activity" : activity.getTitle()));
    }

    /** The choice list of the settings document: one Item per device, escaped for XML. */
    public String GetDevicesList() {
        DeviceConfig config = loadConfig();
        StringBuilder items = new StringBuilder();
        for (EmulatedDevice device : config.devices) {
            items.append("<Item Value=\"").append(Xml.escape(device.address)).append("\">")
                    .append(Xml.escape(device.name)).append("</Item>");
        }
        return items.toString();
    }

    public synchronized boolean OpenDevice(String address) {
        EmulatedDevice device = findDevice(address);
        if (device == null) {
            return false;
        }
        if (reader != null && openDevice != null && openDevice.address.equals(device.address)) {
            return true;
        }
        closeReader();
        SourceStream stream;
        try {
            stream = device.source.connect();
        } catch (IOException e) {
            return fail("cannot open " + device.label() + ": " + e.getMessage());
        }
        BarcodeReader started = new BarcodeReader(device, stream, this::sendBarcode, this::readerLost);
        openDevice = device;
        reader = started;
        started.start();
        trace("Emulated " + device.label() + " open, source " + device.source.describe());
        return true;
    }

    public synchronized boolean CloseDevice() {
        closeReader();
        return true;
    }

    public synchronized boolean TestDevice(String address) {
        EmulatedDevice device = findDevice(address);
        if (device == null) {
            return false;
        }
        if (reader != null && openDevice != null && openDevice.address.equals(device.address)) {
            return true;  // open and reading: its source is plainly reachable
        }
        String reason = device.source.unreachableReason();
        return reason == null || fail("test of " + device.label() + " failed: " + reason);
    }

    public String GetLastError() {
        return lastError;
    }

    // Declared static, as an app may: the native then receives the class, not the peer, and
    // finds the recorder by the long alone. The console's demo and tests run this form.
    public static native void SendBarcode(long recorder, String barcode);

    private void sendBarcode(String barcode) {
        SendBarcode(recorder, barcode);
    }

    private EmulatedDevice findDevice(String address) {
        if (address == null || address.isEmpty()) {
            fail("no device chosen: set BluetoothDevice to an address from the device list");
            return null;
        }
        EmulatedDevice device = loadConfig().find(address);
        if (device == null) {
            fail("no emulated scanner has the address '" + address + "'");
        }
        return device;
    }

    private DeviceConfig loadConfig() {
        DeviceConfig config = DeviceConfig.load();
        if (!config.problems.isEmpty()) {
            fail(String.join("; ", config.problems));
        }
        return config;
    }

    private void closeReader() {
        BarcodeReader running = reader;
        reader = null;
        if (running != null) {
            running.shutdown();
            trace("Emulated " + openDevice.label() + " closed");
        }
        openDevice = null;
    }

    // Runs on the reader thread when its source ended or the connection was lost.
    private void readerLost(BarcodeReader lostReader, String reason) {
        EmulatedDevice device = findOpenDevice(lostReader);
        String what = device == null ? "the scanner" : device.label();
        fail(what + " was disconnected: " + reason);
        trace("Emulated " + what + " disconnected");
    }

    // Without this object's lock: CloseDevice may be holding it while it waits for the reader.
    private EmulatedDevice findOpenDevice(BarcodeReader lostReader) {
        EmulatedDevice device = openDevice;
        if (reader == lostReader) {
            reader = null;
        }
        return device;
    }

    private boolean fail(String reason) {
        lastError = reason;
        return false;
    }

    private static void trace(String text) {
        try {
            BTBarcodeScannerClass.NativeTrace(text);
        } catch (UnsatisfiedLinkError e) {
            // Without the library there is no log to write to.
        }
    }
}
