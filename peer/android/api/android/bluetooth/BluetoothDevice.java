package android.bluetooth;

import java.io.IOException;
import java.util.UUID;

/** Declaration for compiling the peer only; see android.app.Activity. */
public final class BluetoothDevice {
    public static final int BOND_BONDED = 12;

    private BluetoothDevice() {}

    public String getName() {
        throw new UnsupportedOperationException("declaration only");
    }

    public String getAddress() {
        throw new UnsupportedOperationException("declaration only");
    }

    public int getBondState() {
        throw new UnsupportedOperationException("declaration only");
    }

    public BluetoothSocket createRfcommSocketToServiceRecord(UUID uuid) throws IOException {
        throw new UnsupportedOperationException("declaration only");
    }

    /** Since API 10. */
    public BluetoothSocket createInsecureRfcommSocketToServiceRecord(UUID uuid) throws IOException {
        throw new UnsupportedOperationException("declaration only");
    }
}
