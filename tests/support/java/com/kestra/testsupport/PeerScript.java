package com.kestra.testsupport;

import com.kestra.MobileBarcodeScannerPackage.MobileBarcodeScanner;
import java.lang.ref.WeakReference;
import java.util.ArrayList;
import java.util.HashMap;
import java.util.HashSet;
import java.util.List;
import java.util.Map;
import java.util.Set;
import java.util.concurrent.atomic.AtomicLong;

/**
 * Script and record of the test scanner peer. Tests set what each peer method answers, whether
 * it throws and which barcodes the peer sends, and read back every call with its argument.
 *
 * <p>Method names are the Java ones: "&lt;init&gt;", "show", "GetDevicesList", "OpenDevice",
 * "CloseDevice", "TestDevice", "GetLastError". Defaults after {@link #reset}: the boolean methods
 * return true, the string methods return "", nothing throws, strings are not fresh.
 *
 * <p>Every string a peer returned or received is kept only through a WeakReference (the call
 * record holds a copy), so a test can count how many of them something else still holds.
 */
public final class PeerScript {
    private PeerScript() {}

    /** One call of a peer method. */
    private static final class Call {
        final int instance; // index of the peer, -1 for a peer not yet registered (constructor)
        final String method;
        final String argument; // a copy; null for methods without argument

        Call(int instance, String method, String argument) {
            this.instance = instance;
            this.method = method;
            this.argument = argument;
        }
    }

    private static final Map<String, Object> results = new HashMap<>();
    private static final Set<String> nullResults = new HashSet<>();
    private static final Set<String> throwing = new HashSet<>();
    private static final Map<String, String> scriptedBarcodes = new HashMap<>();
    private static final Map<String, String> scriptedThreadBarcodes = new HashMap<>();
    private static boolean freshStrings;

    private static final List<ScriptedPeer> instances = new ArrayList<>();
    private static final List<Call> calls = new ArrayList<>();
    private static final List<WeakReference<String>> strings = new ArrayList<>();

    private static final AtomicLong sent = new AtomicLong();
    private static final List<Thread> senders = new ArrayList<>();
    private static volatile boolean sendersStopped;

    // ---- Script, set by the tests ----

    /** Stops the loop senders, then forgets every script, instance, call and string. */
    public static void reset() {
        stopSenders();
        synchronized (PeerScript.class) {
            results.clear();
            nullResults.clear();
            throwing.clear();
            scriptedBarcodes.clear();
            scriptedThreadBarcodes.clear();
            freshStrings = false;
            instances.clear();
            calls.clear();
            strings.clear();
            sent.set(0);
        }
    }

    /** What a string method returns from now on; null makes it return null. */
    public static synchronized void returnString(String method, String value) {
        if (value == null) {
            nullResults.add(method);
            results.remove(method);
        } else {
            nullResults.remove(method);
            results.put(method, value);
        }
    }

    public static synchronized void returnBoolean(String method, boolean value) {
        results.put(method, value);
    }

    /** Makes the method (or the constructor, "&lt;init&gt;") throw an IllegalStateException. */
    public static synchronized void throwFrom(String method, boolean enabled) {
        if (enabled) {
            throwing.add(method);
        } else {
            throwing.remove(method);
        }
    }

    /** When on, each string method returns a new String object (a copy of its scripted value). */
    public static synchronized void freshStrings(boolean enabled) {
        freshStrings = enabled;
    }

    /** A barcode the peer sends itself, on the calling thread, from "&lt;init&gt;" or "show". */
    public static synchronized void sendFrom(String method, String barcode) {
        scriptedBarcodes.put(method, barcode);
    }

    /**
     * A barcode the peer sends from "&lt;init&gt;" or "show" on a Java thread it starts there,
     * waiting at most ten seconds for that thread to end.
     */
    public static synchronized void sendFromThreadOf(String method, String barcode) {
        scriptedThreadBarcodes.put(method, barcode);
    }

    // ---- Record, read by the tests ----

    public static synchronized int instanceCount() {
        return instances.size();
    }

    public static synchronized MobileBarcodeScanner instance(int index) {
        return (MobileBarcodeScanner) instances.get(index);
    }

    public static long recorderOf(int index) {
        return instance(index).recorder();
    }

    public static int showCount(int index) {
        return instance(index).showCount();
    }

    public static boolean hasActivity(int index) {
        return instance(index).activity() != null;
    }

    /** Method names of all calls, in order, joined with newlines. */
    public static synchronized String callLog() {
        StringBuilder log = new StringBuilder();
        for (Call call : calls) {
            if (log.length() > 0) {
                log.append('\n');
            }
            log.append(call.method);
        }
        return log.toString();
    }

    /** Calls of the method on any peer (instance -1) or on the peer with that index. */
    public static synchronized int callCount(int instance, String method) {
        int count = 0;
        for (Call call : calls) {
            if (call.method.equals(method) && (instance < 0 || call.instance == instance)) {
                count++;
            }
        }
        return count;
    }

    /** The argument of the n-th call of the method (on any peer); null if it had none. */
    public static synchronized String argument(String method, int n) {
        for (Call call : calls) {
            if (call.method.equals(method) && n-- == 0) {
                return call.argument;
            }
        }
        throw new IndexOutOfBoundsException(method + " was not called that often");
    }

    public static synchronized int trackedStringCount() {
        return strings.size();
    }

    /** How many of the strings returned or received are still reachable. */
    public static synchronized int reachableStringCount() {
        int count = 0;
        for (WeakReference<String> string : strings) {
            if (string.get() != null) {
                count++;
            }
        }
        return count;
    }

    // ---- Sending barcodes ----

    /** The peer sends one barcode on the calling thread, with the long it received. */
    public static void send(int index, String barcode) {
        ScriptedPeer peer = instance(index);
        peer.deliver(peer.recorder(), barcode);
        sent.incrementAndGet();
    }

    /** The peer sends one barcode from a new Java thread; returns when that thread has ended. */
    public static void sendFromNewThread(int index, String barcode) throws InterruptedException {
        Thread thread = new Thread(() -> send(index, barcode), "peer sender");
        thread.start();
        thread.join();
    }

    /** Sends with any long, on the calling thread, through a peer that is not counted. */
    public static void sendWith(long recorder, String barcode) {
        MobileBarcodeScanner.unregistered().deliver(recorder, barcode);
        sent.incrementAndGet();
    }

    /** The peer sends with any long, on the calling thread (a peer holding a stale address). */
    public static void sendAs(int index, long recorder, String barcode) {
        instance(index).deliver(recorder, barcode);
        sent.incrementAndGet();
    }

    /** Starts threads that send the barcode with the peer's long in a loop until stopSenders. */
    public static synchronized void startSenders(int index, int threadCount, String barcode) {
        sendersStopped = false;
        ScriptedPeer peer = instance(index);
        for (int i = 0; i < threadCount; i++) {
            Thread thread = new Thread(() -> {
                while (!sendersStopped) {
                    peer.deliver(peer.recorder(), barcode);
                    sent.incrementAndGet();
                }
            }, "peer loop sender " + i);
            thread.setDaemon(true);
            senders.add(thread);
            thread.start();
        }
    }

    /** Stops the loop senders and waits until they have ended. */
    public static void stopSenders() {
        sendersStopped = true;
        List<Thread> stopping;
        synchronized (PeerScript.class) {
            stopping = new ArrayList<>(senders);
            senders.clear();
        }
        for (Thread thread : stopping) {
            try {
                thread.join();
            } catch (InterruptedException e) {
                Thread.currentThread().interrupt();
                return;
            }
        }
    }

    /** SendBarcode calls that have returned, from every sending method. */
    public static long sentCount() {
        return sent.get();
    }

    // ---- Used by the peer ----

    /** Records a call (and the argument, weakly) and throws if the script says so. */
    public static synchronized void enter(ScriptedPeer peer, String method, String argument) {
        calls.add(new Call(instances.indexOf(peer), method, argument == null ? null : new String(argument)));
        if (argument != null) {
            strings.add(new WeakReference<>(argument));
        }
        if (throwing.contains(method)) {
            throw new IllegalStateException("scripted failure of " + method);
        }
    }

    public static synchronized void register(ScriptedPeer peer) {
        instances.add(peer);
        // The constructor call was recorded before the peer had an index.
        for (int i = calls.size() - 1; i >= 0; i--) {
            Call call = calls.get(i);
            if (call.method.equals("<init>") && call.instance == -1) {
                calls.set(i, new Call(instances.size() - 1, call.method, call.argument));
                break;
            }
        }
    }

    public static synchronized String stringResult(String method) {
        if (nullResults.contains(method)) {
            return null;
        }
        Object scripted = results.get(method);
        String value = scripted instanceof String ? (String) scripted : "";
        if (freshStrings) {
            value = new String(value);
        }
        strings.add(new WeakReference<>(value));
        return value;
    }

    public static synchronized boolean booleanResult(String method) {
        Object scripted = results.get(method);
        return scripted instanceof Boolean ? (Boolean) scripted : true;
    }

    /** Sends the barcodes scripted for this method, outside any lock of the script. */
    public static void sendScriptedBarcode(ScriptedPeer peer, String method) {
        String barcode;
        String threadBarcode;
        synchronized (PeerScript.class) {
            barcode = scriptedBarcodes.get(method);
            threadBarcode = scriptedThreadBarcodes.get(method);
        }
        if (barcode != null) {
            peer.deliver(peer.recorder(), barcode);
            sent.incrementAndGet();
        }
        if (threadBarcode != null) {
            Thread thread = new Thread(() -> {
                peer.deliver(peer.recorder(), threadBarcode);
                sent.incrementAndGet();
            }, "peer reader of " + method);
            thread.start();
            try {
                thread.join(10_000);
            } catch (InterruptedException e) {
                Thread.currentThread().interrupt();
            }
        }
    }
}
