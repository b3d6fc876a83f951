package com.kestra.MobileBarcodeScannerPackage;

import android.app.Activity;
import com.BTBarcodeScannerPackage.BTBarcodeScannerLib.BTBarcodeScannerClass;
import java.io.IOException;
import java.util.ArrayList;
import java.util.List;

/**
 * The scanner class the driver library creates and calls over JNI: it lists the devices, opens
 * one, and hands every barcode the device sends to the library through SendBarcode. Which
 * devices there are and how they connect is the transport's (Transports.create); this class is
 * the same for every transport.
 *
 * The device operations are called on the host's thread, or on a reader's thread when the host
 * calls back from its barcode handler, and are serialized here. An open device has one reader
 * thread, which also connects the device again whenever its link drops, until CloseDevice. A reader is stopped under this object's lock, which never blocks, and waited for only
 * after the lock is released: its handler may be calling another device operation meanwhile.
 * On its own thread it is not waited for at all. Every member the library reaches is kept by
 * the rules in proguard-rules.pro.
 */
public class MobileBarcodeScanner {
    private static final String NO_ERROR = "no error has occurred";
    // How long OpenDevice and TestDevice wait for the attempt they ask of a reconnecting device:
    // longer than any transport's connect deadline.
    private static final long RECONNECT_NOW_MILLIS = 15000;

    private final long recorder;
    private final Transport transport;
    // Written by the host's thread and by reader threads, read by the host's.
    private volatile String lastError = NO_ERROR;
    private BarcodeReader reader; // under this object's lock; null when no device was opened
    // The device whose connect OpenDevice or TestDevice waits in: written under this object's
    // lock, read by CloseDevice without it, so that a close need not wait for a connect to end.
    private volatile ScannerDevice connecting;

    public MobileBarcodeScanner(Activity activity, long recorder) {
        this.recorder = recorder;
        this.transport = Transports.create(activity);
    }

    /** Called once, right after construction: the transport asks for what it needs. */
    public void show() {
        transport.prepare();
    }

    /** The choice list of the settings document: one Item per device, escaped for XML. */
    public String GetDevicesList() {
        List<String> problems = new ArrayList<String>();
        List<ScannerDevice> devices = transport.devices(problems);
        if (!problems.isEmpty()) {
            fail(join(problems));
        }
        StringBuilder items = new StringBuilder();
        for (ScannerDevice device : devices) {
            items.append("<Item Value=\"").append(Xml.escape(device.address)).append("\">")
                    .append(Xml.escape(device.name)).append("</Item>");
        }
        return items.toString();
    }

    public boolean OpenDevice(String address) {
        BarcodeReader stopped = null;
        BarcodeReader reconnecting;
        try {
            synchronized (this) {
                ScannerDevice device = find(address);
                if (device == null) {
                    return false;
                }
                if (reading(device)) {
                    lastError = NO_ERROR;
                    return true;
                }
                // The device being connected again is never connected twice: its reader tries now.
                reconnecting = reconnecting(device);
                if (reconnecting == null) {
                    stopped = stopReader();
                    SourceStream stream;
                    try {
                        stream = connect(device);
                    } catch (IOException e) {
                        return fail("cannot open " + device.label() + ": " + e.getMessage());
                    }
                    reader = new BarcodeReader(device, ScannerOptions.of(device), stream, new ReaderListener());
                    lastError = NO_ERROR;
                    reader.start();
                    trace("Scanner " + device.label() + " open");
                    return true;
                }
            }
            return connectNow(reconnecting, null);
        } finally {
            awaitEnd(stopped);
        }
    }

    public boolean CloseDevice() {
        ScannerDevice opening = connecting;
        if (opening != null) {
            opening.abandonConnect();
        }
        BarcodeReader stopped;
        synchronized (this) {
            stopped = stopReader();
        }
        awaitEnd(stopped);
        return true;
    }

    /**
     * Passes only where OpenDevice would succeed now: it connects, then lets go again. The device
     * being reconnected is never connected twice: its reader makes the attempt.
     */
    public boolean TestDevice(String address) {
        BarcodeReader reconnecting;
        synchronized (this) {
            ScannerDevice device = find(address);
            if (device == null) {
                return false;
            }
            if (reading(device)) {
                lastError = NO_ERROR;
                return true;
            }
            reconnecting = reconnecting(device);
            if (reconnecting == null) {
                try {
                    connect(device).close();
                    lastError = NO_ERROR;
                    return true;
                } catch (IOException e) {
                    return fail("test of " + device.label() + " failed: " + e.getMessage());
                }
            }
        }
        return connectNow(reconnecting, "test of ");
    }

    // Without this object's lock: the device's reader makes one attempt now, and the answer is
    // whether its link is up. testPrefix: null for OpenDevice.
    private boolean connectNow(BarcodeReader reconnecting, String testPrefix) {
        boolean up = reconnecting.connectNow(RECONNECT_NOW_MILLIS);
        synchronized (this) {
            if (reader != reconnecting) {
                return fail("the device was closed meanwhile");
            }
            if (up) {
                lastError = NO_ERROR;
                return true;
            }
            String status = lastError;
            return fail(testPrefix == null ? status : testPrefix + reconnecting.device().label() + " failed: " + status);
        }
    }

    public String GetLastError() {
        return lastError;
    }

    // Declared static, as an app may: the native then receives the class, not the peer, and
    // finds the recorder by the long alone.
    public static native void SendBarcode(long recorder, String barcode);

    private ScannerDevice find(String address) {
        if (address == null || address.isEmpty()) {
            fail("no device chosen: set BluetoothDevice to an address from the device list");
            return null;
        }
        try {
            return transport.find(address);
        } catch (IOException e) {
            fail(e.getMessage());
            return null;
        }
    }

    // Under this object's lock.
    private SourceStream connect(ScannerDevice device) throws IOException {
        connecting = device;
        try {
            return device.connect();
        } finally {
            connecting = null;
        }
    }

    // Under this object's lock: whether the open reader reads this device and its link is up.
    private boolean reading(ScannerDevice device) {
        BarcodeReader running = reader;
        return running != null && running.reading() && running.device().address.equalsIgnoreCase(device.address);
    }

    // Under this object's lock: the open reader of this device while it connects again, or null.
    private BarcodeReader reconnecting(ScannerDevice device) {
        BarcodeReader running = reader;
        boolean same = running != null && running.device().address.equalsIgnoreCase(device.address);
        return same && running.open() && !running.reading() ? running : null;
    }

    // Under this object's lock: the open reader, if any, stops handing barcodes on and releases
    // its link at once; its thread is waited for by awaitEnd, once the lock is released.
    private BarcodeReader stopReader() {
        BarcodeReader running = reader;
        reader = null;
        if (running != null) {
            running.stopReading();
            trace("Scanner " + running.device().label() + " closed");
        }
        return running;
    }

    // Without this object's lock: the stopped reader's handler may be waiting for it.
    private static void awaitEnd(BarcodeReader stopped) {
        if (stopped != null) {
            stopped.awaitEnd();
        }
    }

    private static String join(List<String> texts) {
        StringBuilder joined = new StringBuilder();
        for (String text : texts) {
            joined.append(joined.length() == 0 ? "" : "; ").append(text);
        }
        return joined.toString();
    }

    private boolean fail(String reason) {
        lastError = reason;
        return false;
    }

    // Runs on the reader's thread, without this object's lock: the handler of the barcode it
    // hands on may call any device operation.
    private final class ReaderListener implements BarcodeReader.Listener {
        // Why the link dropped, kept for the status while it is connected again.
        private volatile String lostBecause = "";

        @Override
        public void barcode(ScannerDevice device, String barcode) {
            // The host takes text up to its first NUL: what follows never reaches it.
            int nul = barcode.indexOf('\0');
            if (nul >= 0) {
                device.tell("cut", "the barcode holds a NUL after " + nul + " characters; the host's text ends"
                        + " there: \"" + barcode.substring(0, nul) + "\"");
            }
            SendBarcode(recorder, barcode);
        }

        @Override
        public void refused(ScannerDevice device, long bytes) {
            fail(device.label() + " sent a line of " + bytes + " bytes, more than the "
                    + LineFramer.MAX_LINE_BYTES + " a barcode may have; it was refused whole");
            device.tell("refused", "a line of " + bytes + " bytes, more than the " + LineFramer.MAX_LINE_BYTES
                    + " a barcode may have, was refused whole");
        }

        @Override
        public void notice(ScannerDevice device, String text) {
            fail(device.label() + ": " + text);
        }

        @Override
        public void lost(ScannerDevice device, String reason) {
            lostBecause = device.label() + " was disconnected: " + reason;
            fail(lostBecause + "; reconnecting");
            device.tell("lost", reason);
            trace("Scanner " + device.label() + " disconnected; reconnecting");
        }

        @Override
        public void reconnecting(ScannerDevice device, String status) {
            fail(status + "; " + lostBecause);
        }

        @Override
        public void reconnected(ScannerDevice device, String how) {
            fail(lostBecause + "; connected again (" + how + ")");
            device.tell("reconnected", how);
            trace("Scanner " + device.label() + " connected again");
        }

        @Override
        public void ended(ScannerDevice device, String reason) {
            fail(device.label() + " was disconnected: " + reason);
            device.tell("lost", reason);
            trace("Scanner " + device.label() + " disconnected");
        }
    }

    static void trace(String text) {
        try {
            BTBarcodeScannerClass.NativeTrace(text);
        } catch (UnsatisfiedLinkError e) {
            // Without the library there is no log to write to.
        }
    }
}
