package android.bluetooth;

import java.util.UUID;

/** Fake for the desktop tests: the client configuration descriptor of a fake characteristic. */
public class BluetoothGattDescriptor {
    public static final byte[] ENABLE_NOTIFICATION_VALUE = {0x01, 0x00};
    public static final byte[] ENABLE_INDICATION_VALUE = {0x02, 0x00};

    private final UUID uuid;
    private final BluetoothGattCharacteristic characteristic;
    private byte[] value; // guarded by this

    BluetoothGattDescriptor(UUID uuid, BluetoothGattCharacteristic characteristic) {
        this.uuid = uuid;
        this.characteristic = characteristic;
    }

    public UUID getUuid() {
        return uuid;
    }

    public BluetoothGattCharacteristic getCharacteristic() {
        return characteristic;
    }

    public synchronized boolean setValue(byte[] value) {
        this.value = value;
        return true;
    }

    public synchronized byte[] getValue() {
        return value;
    }
}
