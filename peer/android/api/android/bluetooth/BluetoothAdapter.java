package android.bluetooth;

import android.bluetooth.le.BluetoothLeScanner;
import java.io.IOException;
import java.util.Set;
import java.util.UUID;

/** Declaration for compiling the peer only; see android.app.Activity. */
public final class BluetoothAdapter {
    private BluetoothAdapter() {}

    /** Null when the device has no Bluetooth. */
    public static synchronized BluetoothAdapter getDefaultAdapter() {
        throw new UnsupportedOperationException("declaration only");
    }

    public boolean isEnabled() {
        throw new UnsupportedOperationException("declaration only");
    }

    public Set<BluetoothDevice> getBondedDevices() {
        throw new UnsupportedOperationException("declaration only");
    }

    public BluetoothServerSocket listenUsingRfcommWithServiceRecord(String name, UUID uuid) throws IOException {
        throw new UnsupportedOperationException("declaration only");
    }

    public boolean cancelDiscovery() {
        throw new UnsupportedOperationException("declaration only");
    }

    public BluetoothDevice getRemoteDevice(String address) {
        throw new UnsupportedOperationException("declaration only");
    }

    /** Since API 21; null while Bluetooth is off. */
    public BluetoothLeScanner getBluetoothLeScanner() {
        throw new UnsupportedOperationException("declaration only");
    }
}
