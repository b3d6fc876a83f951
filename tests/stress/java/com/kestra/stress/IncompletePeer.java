package com.kestra.stress;

import android.app.Activity;

/**
 * The scanner class of an app that breaks the contract: the constructor is right, but show and
 * GetLastError are missing and every device method has another signature.
 */
public class IncompletePeer {
    private static int constructed;

    public IncompletePeer(Activity activity, long recorder) {
        synchronized (IncompletePeer.class) {
            constructed++;
        }
    }

    public static synchronized int constructedCount() {
        return constructed;
    }

    public Object GetDevicesList() {
        return "<Item Value=\"x\"/>";
    }

    public int OpenDevice(String address) {
        return 1;
    }

    public boolean CloseDevice(int how) {
        return true;
    }

    public boolean TestDevice() {
        return true;
    }
}
