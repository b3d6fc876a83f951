package android.bluetooth;

import java.util.UUID;

/** Fake for the desktop tests: a characteristic of a fake LE scanner. */
public class BluetoothGattCharacteristic {
    public static final int PROPERTY_READ = 0x02;
    public static final int PROPERTY_WRITE_NO_RESPONSE = 0x04;
    public static final int PROPERTY_WRITE = 0x08;
    public static final int PROPERTY_NOTIFY = 0x10;
    public static final int PROPERTY_INDICATE = 0x20;
    public static final int WRITE_TYPE_DEFAULT = 0x02;

    private final UUID uuid;
    private final int properties;
    private BluetoothGattDescriptor configuration; // null when it notifies nothing
    private byte[] value; // guarded by this
    private int writeType = WRITE_TYPE_DEFAULT;

    public BluetoothGattCharacteristic(UUID uuid, int properties) {
        this.uuid = uuid;
        this.properties = properties;
        if ((properties & (PROPERTY_NOTIFY | PROPERTY_INDICATE)) != 0) {
            configuration = new BluetoothGattDescriptor(
                    UUID.fromString("00002902-0000-1000-8000-00805F9B34FB"), this);
        }
    }

    public UUID getUuid() {
        return uuid;
    }

    public int getProperties() {
        return properties;
    }

    public BluetoothGattDescriptor getDescriptor(UUID wanted) {
        return configuration != null && configuration.getUuid().equals(wanted) ? configuration : null;
    }

    public synchronized byte[] getValue() {
        return value;
    }

    public synchronized boolean setValue(byte[] value) {
        this.value = value;
        return true;
    }

    public synchronized void setWriteType(int writeType) {
        this.writeType = writeType;
    }

    public synchronized int writeType() {
        return writeType;
    }
}
