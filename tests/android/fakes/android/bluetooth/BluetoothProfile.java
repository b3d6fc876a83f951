package android.bluetooth;

/** Fake for the desktop tests. */
public interface BluetoothProfile {
    int STATE_DISCONNECTED = 0;
    int STATE_CONNECTED = 2;
}
