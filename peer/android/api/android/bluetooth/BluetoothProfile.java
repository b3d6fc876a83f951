package android.bluetooth;

/** Declaration for compiling the peer only; see android.app.Activity. Only the states are declared. */
public interface BluetoothProfile {
    int STATE_DISCONNECTED = 0;
    int STATE_CONNECTED = 2;
}
