package com.kestra.androidtest;

import android.bluetooth.BluetoothDevice;
import android.bluetooth.BluetoothServerSocket;
import android.bluetooth.BluetoothSocket;
import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.util.ArrayList;
import java.util.LinkedHashMap;
import java.util.LinkedHashSet;
import java.util.List;
import java.util.Map;
import java.util.Set;
import java.util.UUID;

/**
 * The phone's Bluetooth as the desktop tests of the peer see it: the adapter, the bonded
 * scanners, the permission, and each scanner's link. The test program sets it up and plays the
 * scanners through these static methods; the fake android.* classes read it.
 */
public final class FakeBluetooth {
    /** How a scanner answers a connect; INSECURE_ONLY refuses a secure one at once. */
    public enum Answer { AT_ONCE, NEVER, OUT_OF_RANGE, INSECURE_ONLY }

    private static final Map<String, BluetoothDevice> bonded = new LinkedHashMap<>();
    private static final Map<String, Answer> answers = new LinkedHashMap<>();
    private static final Map<String, Pipe> links = new LinkedHashMap<>();
    private static final List<String> requests = new ArrayList<>();
    private static boolean adapter = true;
    private static boolean enabled = true;
    private static boolean permission = true;
    private static boolean grantOnRequest;
    private static boolean bondedUnavailable;
    private static int connects;
    private static BluetoothServerSocket server; // the peer's listening socket, while it listens
    private static final List<String> connectKinds = new ArrayList<>();
    private static int discoveryCancels;

    private FakeBluetooth() {}

    // What the test program calls.

    public static synchronized void reset() {
        bonded.clear();
        answers.clear();
        for (Pipe pipe : links.values()) {
            pipe.hangUp();
        }
        links.clear();
        requests.clear();
        adapter = true;
        enabled = true;
        permission = true;
        grantOnRequest = false;
        bondedUnavailable = false;
        connects = 0;
        if (server != null) {
            server.close();
        }
        server = null;
        connectKinds.clear();
        discoveryCancels = 0;
        android.os.Build.VERSION.SDK_INT = 31;
    }

    public static synchronized void bond(String address, String name) {
        bonded.put(address, new BluetoothDevice(address, name));
        answers.put(address, Answer.AT_ONCE);
    }

    public static synchronized void answer(String address, String answer) {
        answers.put(address, Answer.valueOf(answer));
    }

    public static synchronized void setAdapter(boolean present, boolean on) {
        adapter = present;
        enabled = on;
    }

    /** The permission now, and whether the user grants it when the peer asks. */
    public static synchronized void setPermission(boolean granted, boolean grantWhenAsked) {
        permission = granted;
        grantOnRequest = grantWhenAsked;
    }

    public static synchronized void setSdk(int level) {
        android.os.Build.VERSION.SDK_INT = level;
    }

    /** The permissions the peer asked for so far, one text per request. */
    public static synchronized String[] permissionRequests() {
        return requests.toArray(new String[0]);
    }

    public static synchronized int connectCount() {
        return connects;
    }

    /** The connects so far, "secure" or "insecure" each, joined by blanks. */
    public static synchronized String connectKinds() {
        return String.join(" ", connectKinds);
    }

    public static synchronized int discoveryCancelCount() {
        return discoveryCancels;
    }

    /** Whether the scanner has a link now that the peer has not closed. */
    public static synchronized boolean linked(String address) {
        Pipe pipe = links.get(address);
        return pipe != null && !pipe.isClosed();
    }

    /** The scanner sends bytes (false when it has no link). */
    public static boolean send(String address, byte[] bytes) {
        Pipe pipe;
        synchronized (FakeBluetooth.class) {
            pipe = links.get(address);
        }
        if (pipe == null) {
            return false;
        }
        pipe.write(bytes);
        return true;
    }

    public static boolean sendText(String address, String text) {
        return send(address, text.getBytes(StandardCharsets.UTF_8));
    }

    /** The next read of the scanner's link throws an unexpected exception (not an IOException). */
    public static synchronized void failReads(String address) {
        Pipe pipe = links.get(address);
        if (pipe != null) {
            pipe.failWith(new IllegalStateException("scripted failure of the link"));
        }
    }

    /** Whether the adapter lists its bonded devices as null, as while Bluetooth switches on or off. */
    public static synchronized void setBondedUnavailable(boolean unavailable) {
        bondedUnavailable = unavailable;
    }

    /** Interrupts the calling thread (the host's, when the test program calls it). */
    public static void interruptCaller() {
        Thread.currentThread().interrupt();
    }

    /** Whether the calling thread is interrupted; the flag stays as it is. */
    public static boolean callerInterrupted() {
        return Thread.currentThread().isInterrupted();
    }

    /** The scanner is switched off or goes out of range: its link drops. */
    public static synchronized void dropLink(String address) {
        Pipe pipe = links.remove(address);
        if (pipe != null) {
            pipe.hangUp();
        }
    }

    /**
     * The scanner connects to the phone by itself, as some do when they wake: true when the phone
     * listened and took the connection (the peer may still refuse it).
     */
    public static boolean connectToPhone(String address) {
        BluetoothServerSocket listening;
        Pipe pipe;
        synchronized (FakeBluetooth.class) {
            listening = server;
            if (listening == null || listening.isClosed()) {
                return false;
            }
            pipe = connected(address);
        }
        if (!listening.incoming(new BluetoothSocket(address, pipe))) {
            pipe.hangUp();
            return false;
        }
        return true;
    }

    /** Whether the phone listens for a scanner's own connection now. */
    public static synchronized boolean listeningForScanners() {
        return server != null && !server.isClosed();
    }

    // What the fake android.* classes call.

    public static synchronized BluetoothServerSocket listening(String name, UUID uuid) throws IOException {
        if (!uuid.equals(UUID.fromString("00001101-0000-1000-8000-00805F9B34FB"))) {
            throw new IOException("the fake phone listens for the serial-port service only, not " + uuid);
        }
        if (server != null && !server.isClosed()) {
            throw new IOException("already listening for the serial-port service");
        }
        server = new BluetoothServerSocket();
        return server;
    }

    public static synchronized boolean hasAdapter() {
        return adapter;
    }

    public static synchronized boolean adapterEnabled() {
        return enabled;
    }

    public static synchronized Set<BluetoothDevice> bonded() {
        if (bondedUnavailable) {
            return null;
        }
        return new LinkedHashSet<>(bonded.values());
    }

    public static synchronized int bondState(String address) {
        return bonded.containsKey(address) ? BluetoothDevice.BOND_BONDED : 10;
    }

    public static synchronized boolean permissionGranted(String permission) {
        return FakeBluetooth.permission || !permission.equals("android.permission.BLUETOOTH_CONNECT");
    }

    /** As a phone of API 31 and later does: refuses a Bluetooth call without the permission. */
    public static synchronized void requirePermission(String call) {
        if (android.os.Build.VERSION.SDK_INT >= 31 && !permission) {
            throw new SecurityException("Need android.permission.BLUETOOTH_CONNECT for " + call);
        }
    }

    public static synchronized void permissionsRequested(String[] permissions, int requestCode) {
        requests.add(String.join(",", permissions) + " #" + requestCode);
        if (grantOnRequest) {
            permission = true;
        }
    }

    public static synchronized void discoveryCancelled() {
        discoveryCancels++;
    }

    public static synchronized Answer connecting(String address, boolean secure) {
        connects++;
        connectKinds.add(secure ? "secure" : "insecure");
        Answer answer = answers.get(address);
        if (answer == Answer.INSECURE_ONLY) {
            return secure ? Answer.OUT_OF_RANGE : Answer.AT_ONCE;
        }
        return answer == null ? Answer.OUT_OF_RANGE : answer;
    }

    public static synchronized Pipe connected(String address) {
        Pipe pipe = new Pipe();
        Pipe earlier = links.put(address, pipe);
        if (earlier != null) {
            earlier.hangUp();
        }
        return pipe;
    }
}
