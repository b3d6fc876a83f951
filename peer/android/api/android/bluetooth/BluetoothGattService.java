package android.bluetooth;

import java.util.List;
import java.util.UUID;

/** Declaration for compiling the peer only; see android.app.Activity. Since API 18. */
public class BluetoothGattService {
    private BluetoothGattService() {}

    public UUID getUuid() {
        throw new UnsupportedOperationException("declaration only");
    }

    public List<BluetoothGattCharacteristic> getCharacteristics() {
        throw new UnsupportedOperationException("declaration only");
    }
}
