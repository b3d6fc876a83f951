package com.kestra.androidtest;

import android.bluetooth.BluetoothDevice;
import android.bluetooth.BluetoothGatt;
import android.bluetooth.BluetoothGattCharacteristic;
import android.bluetooth.BluetoothGattDescriptor;
import android.bluetooth.BluetoothGattService;
import android.bluetooth.BluetoothProfile;
import android.os.ParcelUuid;
import java.util.ArrayDeque;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.HashSet;
import java.util.List;
import java.util.Set;
import java.util.UUID;

/**
 * One fake scanner over Bluetooth LE, as its GATT server plays it: the services of its profile,
 * the characteristic it sends on, the largest MTU it agrees to, TIO credits, and how it answers
 * a connect. It sends only once the app has switched that characteristic's notifications on
 * (locally and through the client configuration descriptor), in notifications no larger than
 * the MTU agreed allows; a TIO scanner sends one notification per credit and holds the rest
 * back until the app grants more.
 */
public final class FakeLeScanner {
    public enum Answer { AT_ONCE, NEVER, OUT_OF_RANGE, NO_SERVICES_ANSWER, REFUSES_NOTIFICATIONS }

    static final UUID GENERIC_ACCESS = shortUuid(0x1800);

    final String address;
    final String name;
    final BluetoothDevice device;
    final UUID advertised;
    private final List<BluetoothGattService> services = new ArrayList<>();
    private final BluetoothGattCharacteristic sendsOn;
    private final BluetoothGattCharacteristic creditsIn; // TIO: the app writes credits here; else null
    private final int largestMtu;

    // Guarded by this.
    private Answer answer = Answer.AT_ONCE;
    private BluetoothGatt link;
    private int mtu = 23;
    private final Set<BluetoothGattCharacteristic> notifyingLocally = new HashSet<>();
    private boolean sending; // its client configuration was written as its properties want
    private int credits;
    private final ArrayDeque<byte[]> heldBack = new ArrayDeque<>();
    private byte[] stored = new byte[0]; // scanned while unconnected, sent when notifications come on
    private int notifications;
    private int creditsGranted;
    private int creditWrites;
    private int connects;
    private int transport = -1;
    private int clientsClosed;
    private int grantsToRefuse;

    /**
     * Profiles: NORDIC, NORDIC_SWAPPED (its two characteristics' roles swapped), MICROCHIP,
     * FFE0, TIO, BATTERY (no serial service) and HID (a keyboard).
     */
    FakeLeScanner(String address, String name, String profile, boolean bonded, int largestMtu) {
        this.address = address;
        this.name = name;
        this.largestMtu = largestMtu;
        services.add(new BluetoothGattService(GENERIC_ACCESS));
        BluetoothGattCharacteristic data;
        BluetoothGattCharacteristic credits = null;
        int write = BluetoothGattCharacteristic.PROPERTY_WRITE | BluetoothGattCharacteristic.PROPERTY_WRITE_NO_RESPONSE;
        int notify = BluetoothGattCharacteristic.PROPERTY_NOTIFY;
        switch (profile) {
            case "NORDIC":
            case "NORDIC_SWAPPED": {
                boolean swapped = profile.equals("NORDIC_SWAPPED");
                BluetoothGattCharacteristic rx = new BluetoothGattCharacteristic(
                        UUID.fromString("6E400002-B5A3-F393-E0A9-E50E24DCCA9E"), swapped ? notify : write);
                BluetoothGattCharacteristic tx = new BluetoothGattCharacteristic(
                        UUID.fromString("6E400003-B5A3-F393-E0A9-E50E24DCCA9E"), swapped ? write : notify);
                data = swapped ? rx : tx;
                add("6E400001-B5A3-F393-E0A9-E50E24DCCA9E", rx, tx);
                break;
            }
            case "MICROCHIP":
                data = new BluetoothGattCharacteristic(UUID.fromString("49535343-1E4D-4BD9-BA61-23C647249616"),
                        notify | BluetoothGattCharacteristic.PROPERTY_WRITE_NO_RESPONSE);
                add("49535343-FE7D-4AE5-8FA9-9FAFD205E455",
                        new BluetoothGattCharacteristic(UUID.fromString("49535343-8841-43F4-A8D4-ECBE34729BB3"), write),
                        data);
                break;
            case "FFE0":
                data = new BluetoothGattCharacteristic(shortUuid(0xFFE1),
                        notify | BluetoothGattCharacteristic.PROPERTY_READ
                                | BluetoothGattCharacteristic.PROPERTY_WRITE_NO_RESPONSE);
                add("0000FFE0-0000-1000-8000-00805F9B34FB", data);
                break;
            case "TIO":
                data = new BluetoothGattCharacteristic(tioUuid(2), notify);
                credits = new BluetoothGattCharacteristic(tioUuid(3), BluetoothGattCharacteristic.PROPERTY_WRITE);
                add("0000FEFB-0000-1000-8000-00805F9B34FB",
                        new BluetoothGattCharacteristic(tioUuid(1), BluetoothGattCharacteristic.PROPERTY_WRITE_NO_RESPONSE),
                        data, credits,
                        new BluetoothGattCharacteristic(tioUuid(4), BluetoothGattCharacteristic.PROPERTY_INDICATE));
                break;
            case "BATTERY":
                data = new BluetoothGattCharacteristic(shortUuid(0x2A19), notify | BluetoothGattCharacteristic.PROPERTY_READ);
                add("0000180F-0000-1000-8000-00805F9B34FB", data);
                break;
            case "HID":
                data = new BluetoothGattCharacteristic(shortUuid(0x2A4D), notify | BluetoothGattCharacteristic.PROPERTY_READ);
                add("00001812-0000-1000-8000-00805F9B34FB", data);
                break;
            default:
                throw new IllegalArgumentException("no fake LE profile " + profile);
        }
        this.sendsOn = data;
        this.creditsIn = credits;
        this.advertised = services.get(1).getUuid();
        ParcelUuid[] known = bonded ? new ParcelUuid[] {new ParcelUuid(GENERIC_ACCESS), new ParcelUuid(advertised)}
                                    : null;
        this.device = new BluetoothDevice(address, name, BluetoothDevice.DEVICE_TYPE_LE, known);
    }

    private void add(String service, BluetoothGattCharacteristic... characteristics) {
        BluetoothGattService added = new BluetoothGattService(UUID.fromString(service));
        for (BluetoothGattCharacteristic characteristic : characteristics) {
            added.add(characteristic);
        }
        services.add(added);
    }

    // What FakeBluetooth calls for the test program.

    synchronized void answer(Answer answer) {
        this.answer = answer;
    }

    /**
     * Sends bytes in notifications of `chunk` bytes (0: as large as the MTU allows). Notifications
     * are posted under this object's lock, so that they reach the app in the order sent, as over
     * the air, also when a grant of credits releases held-back ones at the same time.
     */
    synchronized boolean send(byte[] bytes, int chunk) {
        if (link == null || !sending || !notifyingLocally.contains(sendsOn)) {
            return false;
        }
        int payload = mtu - 3;
        if (chunk > payload) {
            throw new IllegalArgumentException("a notification at MTU " + mtu + " carries at most " + payload
                    + " bytes, not " + chunk);
        }
        int size = chunk > 0 ? chunk : payload;
        for (int start = 0; start < bytes.length; start += size) {
            byte[] piece = Arrays.copyOfRange(bytes, start, Math.min(bytes.length, start + size));
            if (creditsIn != null && (credits == 0 || !heldBack.isEmpty())) {
                heldBack.addLast(piece);
            } else {
                if (creditsIn != null) {
                    credits--;
                }
                notifications++;
                notifyApp(link, piece);
            }
        }
        return true;
    }

    /**
     * Bytes the scanner keeps until the app switches its notifications on, and sends the moment
     * it does, before the phone has answered the app's write (a scanner's memory of scans made
     * while it was not connected).
     */
    synchronized void store(byte[] bytes) {
        stored = bytes;
    }

    /** The next `count` grants of credits are refused (status 3) and not counted. */
    synchronized void refuseGrants(int count) {
        grantsToRefuse = count;
    }

    /** The link drops with the status a phone reports (8: the supervision timeout). */
    void drop(int status) {
        BluetoothGatt was;
        synchronized (this) {
            was = link;
            link = null;
            sending = false;
            notifyingLocally.clear();
        }
        if (was != null) {
            was.post(app -> app.onConnectionStateChange(was, status, BluetoothProfile.STATE_DISCONNECTED));
        }
    }

    synchronized int stat(String what) {
        switch (what) {
            case "notifications": return notifications;
            case "creditsGranted": return creditsGranted;
            case "creditWrites": return creditWrites;
            case "heldBack": return heldBack.size();
            case "connects": return connects;
            case "transport": return transport;
            case "mtu": return mtu;
            case "clientsClosed": return clientsClosed;
            case "linked": return link != null ? 1 : 0;
            default: throw new IllegalArgumentException("no statistic " + what);
        }
    }

    // What the fake BluetoothGatt calls.

    public void connecting(BluetoothGatt gatt, boolean autoConnect, int transport) {
        Answer now;
        synchronized (this) {
            connects++;
            this.transport = transport;
            now = answer;
            if (now != Answer.NEVER && now != Answer.OUT_OF_RANGE) {
                if (link != null) {
                    throw new IllegalStateException("the fake scanner " + address + " takes one client at a time");
                }
                link = gatt;
                mtu = 23;
                sending = false;
                notifyingLocally.clear();
                heldBack.clear();
                credits = 0;
            }
        }
        if (now == Answer.OUT_OF_RANGE) {
            gatt.post(app -> app.onConnectionStateChange(gatt, 133, BluetoothProfile.STATE_DISCONNECTED));
        } else if (now != Answer.NEVER) {
            gatt.post(app -> app.onConnectionStateChange(gatt, 0, BluetoothProfile.STATE_CONNECTED));
        }
    }

    public List<BluetoothGattService> services() {
        return new ArrayList<>(services);
    }

    public boolean discover(BluetoothGatt gatt) {
        synchronized (this) {
            if (link != gatt) {
                return false;
            }
            if (answer == Answer.NO_SERVICES_ANSWER) {
                return true;
            }
        }
        gatt.post(app -> app.onServicesDiscovered(gatt, 0));
        return true;
    }

    public synchronized boolean notifyLocally(BluetoothGattCharacteristic characteristic, boolean enable) {
        if (enable) {
            notifyingLocally.add(characteristic);
        } else {
            notifyingLocally.remove(characteristic);
        }
        return true;
    }

    public boolean writeDescriptor(BluetoothGatt gatt, BluetoothGattDescriptor descriptor, byte[] value) {
        int status;
        synchronized (this) {
            if (link != gatt) {
                return false;
            }
            BluetoothGattCharacteristic of = descriptor.getCharacteristic();
            boolean notifies = (of.getProperties() & BluetoothGattCharacteristic.PROPERTY_NOTIFY) != 0;
            byte[] wanted = notifies ? BluetoothGattDescriptor.ENABLE_NOTIFICATION_VALUE
                                     : BluetoothGattDescriptor.ENABLE_INDICATION_VALUE;
            if (answer == Answer.REFUSES_NOTIFICATIONS || !Arrays.equals(wanted, value)) {
                status = 3; // write not permitted
            } else {
                status = 0;
                if (of == sendsOn) {
                    sending = true;
                }
            }
        }
        byte[] memory;
        synchronized (this) {
            memory = sending && stored.length > 0 && creditsIn == null ? stored : null;
            stored = memory != null ? new byte[0] : stored;
        }
        if (memory != null) {
            send(memory, 0);
        }
        final int answered = status;
        gatt.post(app -> app.onDescriptorWrite(gatt, descriptor, answered));
        return true;
    }

    public synchronized boolean write(BluetoothGatt gatt, BluetoothGattCharacteristic characteristic, byte[] value,
            int type) {
        if (link != gatt || value == null) {
            return false;
        }
        int status = 0;
        List<byte[]> released = new ArrayList<>();
        if (characteristic == creditsIn && grantsToRefuse > 0) {
            grantsToRefuse--;
            status = 3; // write not permitted
        } else if (characteristic == creditsIn && value.length == 1
                && type == BluetoothGattCharacteristic.WRITE_TYPE_DEFAULT) {
            int granted = value[0] & 0xFF;
            creditWrites++;
            creditsGranted += granted;
            credits += granted;
            while (credits > 0 && !heldBack.isEmpty()) {
                credits--;
                released.add(heldBack.removeFirst());
            }
            notifications += released.size();
        }
        final int answered = status;
        gatt.post(app -> app.onCharacteristicWrite(gatt, characteristic, answered));
        for (byte[] piece : released) {
            notifyApp(gatt, piece);
        }
        return true;
    }

    public boolean requestMtu(BluetoothGatt gatt, int wanted) {
        int agreed;
        synchronized (this) {
            if (link != gatt) {
                return false;
            }
            mtu = Math.max(23, Math.min(wanted, largestMtu));
            agreed = mtu;
        }
        gatt.post(app -> app.onMtuChanged(gatt, agreed, 0));
        return true;
    }

    public void disconnect(BluetoothGatt gatt) {
        synchronized (this) {
            if (link != gatt) {
                return;
            }
            link = null;
        }
        gatt.post(app -> app.onConnectionStateChange(gatt, 0, BluetoothProfile.STATE_DISCONNECTED));
    }

    public synchronized void closed(BluetoothGatt gatt) {
        clientsClosed++;
        if (link == gatt) {
            link = null;
        }
    }

    // As the phone does it: from API 33 on the value comes with the call and the characteristic
    // keeps none; below, the characteristic holds the value while the older callback runs.
    private void notifyApp(BluetoothGatt gatt, byte[] value) {
        gatt.post(app -> {
            if (android.os.Build.VERSION.SDK_INT >= 33) {
                app.onCharacteristicChanged(gatt, sendsOn, value.clone());
            } else {
                sendsOn.setValue(value.clone());
                app.onCharacteristicChanged(gatt, sendsOn);
            }
        });
    }

    private static UUID shortUuid(int number) {
        return UUID.fromString(String.format("0000%04X-0000-1000-8000-00805F9B34FB", number));
    }

    private static UUID tioUuid(int number) {
        return UUID.fromString(String.format("%08X-0000-1000-8000-008025000000", number));
    }
}
