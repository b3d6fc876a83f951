package com.kestra.testsupport;

import android.app.Activity;

/**
 * What the test stand-ins for the app's scanner class have in common: the constructor's work,
 * the methods the library calls and the accessors the tests read. Every answer comes from
 * {@link PeerScript}, which also records each call. The stand-ins differ only in how they
 * declare the native SendBarcode, which each reaches through {@link #deliver}.
 */
public abstract class ScriptedPeer {
    private final Activity activity;
    private final long recorder;
    private int showCount;

    protected ScriptedPeer(Activity activity, long recorder) {
        PeerScript.enter(this, "<init>", null);
        this.activity = activity;
        this.recorder = recorder;
        PeerScript.register(this);
        PeerScript.sendScriptedBarcode(this, "<init>");
    }

    /** A peer the script uses only to call the native with a made-up long; never registered. */
    protected ScriptedPeer() {
        this.activity = null;
        this.recorder = 0;
    }

    public void show() {
        synchronized (this) {
            showCount++;
        }
        PeerScript.enter(this, "show", null);
        PeerScript.sendScriptedBarcode(this, "show");
    }

    public String GetDevicesList() {
        PeerScript.enter(this, "GetDevicesList", null);
        return PeerScript.stringResult("GetDevicesList");
    }

    public boolean OpenDevice(String address) {
        PeerScript.enter(this, "OpenDevice", address);
        return PeerScript.booleanResult("OpenDevice");
    }

    public boolean CloseDevice() {
        PeerScript.enter(this, "CloseDevice", null);
        return PeerScript.booleanResult("CloseDevice");
    }

    public boolean TestDevice(String address) {
        PeerScript.enter(this, "TestDevice", address);
        return PeerScript.booleanResult("TestDevice");
    }

    public String GetLastError() {
        PeerScript.enter(this, "GetLastError", null);
        return PeerScript.stringResult("GetLastError");
    }

    /** Hands one barcode to the library's native SendBarcode with this long. */
    public abstract void deliver(long recorder, String barcode);

    // Test-only accessors.

    public long recorder() {
        return recorder;
    }

    public Activity activity() {
        return activity;
    }

    public synchronized int showCount() {
        return showCount;
    }
}
