package com.kestra.MobileBarcodeScannerPackage;

import android.bluetooth.BluetoothGattCharacteristic;
import android.bluetooth.BluetoothGattService;
import java.io.IOException;
import java.util.ArrayList;
import java.util.List;
import java.util.Locale;
import java.util.UUID;

/**
 * The serial services that scanners over Bluetooth LE offer, and which characteristics of the
 * one a scanner has carry its bytes. Devices do not agree on which characteristic of a service
 * notifies and which is written (some swap them), so both are chosen by their properties; only
 * TIO, whose data and credits characteristics have the same properties, is read by their numbers.
 */
final class LeServices {
    static final UUID NORDIC_UART = UUID.fromString("6E400001-B5A3-F393-E0A9-E50E24DCCA9E");
    static final UUID TRANSPARENT_UART = UUID.fromString("49535343-FE7D-4AE5-8FA9-9FAFD205E455");
    static final UUID FFE0 = shortUuid(0xFFE0);
    static final UUID TIO = shortUuid(0xFEFB);
    /** The services listed and read, in the order tried when a device has several. */
    static final UUID[] SERIAL = {NORDIC_UART, TRANSPARENT_UART, FFE0, TIO};

    /** The client configuration descriptor that switches a characteristic's notifications on. */
    static final UUID CLIENT_CONFIGURATION = shortUuid(0x2902);
    static final UUID TIO_DATA_FROM_SCANNER = tioUuid(2);
    static final UUID TIO_CREDITS_TO_SCANNER = tioUuid(3);
    static final UUID TIO_CREDITS_FROM_SCANNER = tioUuid(4);
    /** A keyboard over Bluetooth LE: the system reads it, an app cannot. */
    static final UUID HUMAN_INTERFACE_DEVICE = shortUuid(0x1812);

    private static final int NOTIFYING =
            BluetoothGattCharacteristic.PROPERTY_NOTIFY | BluetoothGattCharacteristic.PROPERTY_INDICATE;
    private static final int WRITABLE =
            BluetoothGattCharacteristic.PROPERTY_WRITE | BluetoothGattCharacteristic.PROPERTY_WRITE_NO_RESPONSE;

    private LeServices() {}

    /** What the peer reads of one scanner. */
    static final class Choice {
        final String service; // the service's name, for the log and errors
        final BluetoothGattCharacteristic data; // notifies the scanner's bytes
        final BluetoothGattCharacteristic creditsOut; // TIO: written with the credits granted; else null
        final BluetoothGattCharacteristic creditsIn; // TIO: indicates the scanner's credits; may be null

        Choice(String service, BluetoothGattCharacteristic data, BluetoothGattCharacteristic creditsOut,
                BluetoothGattCharacteristic creditsIn) {
            this.service = service;
            this.data = data;
            this.creditsOut = creditsOut;
            this.creditsIn = creditsIn;
        }
    }

    static boolean isSerial(UUID service) {
        for (UUID known : SERIAL) {
            if (known.equals(service)) {
                return true;
            }
        }
        return false;
    }

    static String name(UUID service) {
        if (NORDIC_UART.equals(service)) {
            return "Nordic UART";
        }
        if (TRANSPARENT_UART.equals(service)) {
            return "transparent UART";
        }
        if (FFE0.equals(service)) {
            return "FFE0";
        }
        return TIO.equals(service) ? "TIO" : service.toString();
    }

    /** Chooses the first known service the device offers; the exception says what it offers instead. */
    static Choice choose(List<BluetoothGattService> services) throws IOException {
        for (UUID wanted : SERIAL) {
            for (BluetoothGattService service : services) {
                if (wanted.equals(service.getUuid())) {
                    return TIO.equals(wanted) ? chooseTio(service) : chooseByProperties(service);
                }
            }
        }
        List<String> offered = new ArrayList<String>();
        for (BluetoothGattService service : services) {
            if (HUMAN_INTERFACE_DEVICE.equals(service.getUuid())) {
                throw new IOException("it is a keyboard over Bluetooth LE (it offers the HID service only), which"
                        + " an app cannot read over GATT: use it as a keyboard-mode scanner");
            }
            offered.add(service.getUuid().toString().toUpperCase(Locale.ROOT));
        }
        throw new IOException("it offers none of the serial services a Bluetooth LE scanner uses (Nordic UART,"
                + " transparent UART, FFE0, TIO), only " + (offered.isEmpty() ? "no service" : String.join(", ", offered))
                + ": switch the scanner to its Bluetooth LE serial mode, or choose another device");
    }

    private static Choice chooseByProperties(BluetoothGattService service) throws IOException {
        BluetoothGattCharacteristic best = null;
        for (BluetoothGattCharacteristic characteristic : service.getCharacteristics()) {
            if (better(characteristic, best)) {
                best = characteristic;
            }
        }
        if (best == null) {
            throw new IOException("its " + name(service.getUuid()) + " service has no characteristic that notifies");
        }
        return new Choice(name(service.getUuid()), best, null, null);
    }

    // A characteristic that notifies beats one that only indicates; one that is not also written
    // (the scanner's own output) beats one that is (a single characteristic for both ways).
    private static boolean better(BluetoothGattCharacteristic candidate, BluetoothGattCharacteristic best) {
        int properties = candidate.getProperties();
        if ((properties & NOTIFYING) == 0) {
            return false;
        }
        if (best == null) {
            return true;
        }
        return rank(properties) > rank(best.getProperties());
    }

    private static int rank(int properties) {
        int rank = (properties & BluetoothGattCharacteristic.PROPERTY_NOTIFY) != 0 ? 2 : 0;
        return rank + ((properties & WRITABLE) == 0 ? 1 : 0);
    }

    private static Choice chooseTio(BluetoothGattService service) throws IOException {
        BluetoothGattCharacteristic data = null;
        BluetoothGattCharacteristic creditsOut = null;
        BluetoothGattCharacteristic creditsIn = null;
        for (BluetoothGattCharacteristic characteristic : service.getCharacteristics()) {
            UUID uuid = characteristic.getUuid();
            int properties = characteristic.getProperties();
            if (TIO_DATA_FROM_SCANNER.equals(uuid) && (properties & NOTIFYING) != 0) {
                data = characteristic;
            } else if (TIO_CREDITS_TO_SCANNER.equals(uuid) && (properties & WRITABLE) != 0) {
                creditsOut = characteristic;
            } else if (TIO_CREDITS_FROM_SCANNER.equals(uuid) && (properties & NOTIFYING) != 0) {
                creditsIn = characteristic;
            }
        }
        if (data == null || creditsOut == null) {
            throw new IOException("its TIO service lacks the " + (data == null ? "data" : "credits")
                    + " characteristic");
        }
        return new Choice("TIO", data, creditsOut, creditsIn);
    }

    private static UUID shortUuid(int number) {
        return UUID.fromString(String.format(Locale.ROOT, "0000%04X-0000-1000-8000-00805F9B34FB", number));
    }

    private static UUID tioUuid(int number) {
        return UUID.fromString(String.format(Locale.ROOT, "%08X-0000-1000-8000-008025000000", number));
    }
}
