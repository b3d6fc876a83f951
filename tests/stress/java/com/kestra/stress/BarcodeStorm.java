package com.kestra.stress;

import com.kestra.MobileBarcodeScannerPackage.MobileBarcodeScanner;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import java.util.concurrent.atomic.AtomicReferenceArray;

/**
 * Java threads that send numbered barcodes through scanner peers as fast as they can, while the
 * host aims them at the peer of each new component in turn. The host has a few slots, one
 * component each; every thread sends to the slots in turn. The threads keep sending to a slot's
 * last peer after its component is gone, so the library also sees barcodes for dead recorders.
 *
 * <p>A barcode reads "g&lt;generation&gt;t&lt;thread&gt;s&lt;sequence&gt;"; each thread numbers
 * its barcodes from 0 across all generations. A barcode must be delivered when its component was
 * alive from before the send began until after it returned: the host marks a target alive only
 * after Init returned and marks it dead before it calls DestroyObject.
 */
public final class BarcodeStorm {
    private BarcodeStorm() {}

    /** One component's peer, as the senders see it. */
    private static final class Target {
        final MobileBarcodeScanner peer;
        final long recorder;
        final int generation;
        volatile boolean alive = true;

        Target(MobileBarcodeScanner peer, int generation) {
            this.peer = peer;
            this.recorder = peer.recorder();
            this.generation = generation;
        }
    }

    /** Barcodes one thread sent that must have arrived, packed as generation << 32 | sequence. */
    private static final class Sent {
        long[] mustArrive = new long[1024];
        int mustArriveCount;
        long total;

        void mustArrive(int generation, int sequence) {
            if (mustArriveCount == mustArrive.length) {
                mustArrive = Arrays.copyOf(mustArrive, mustArrive.length * 2);
            }
            mustArrive[mustArriveCount++] = ((long) generation << 32) | (sequence & 0xFFFFFFFFL);
        }
    }

    private static volatile AtomicReferenceArray<Target> targets = new AtomicReferenceArray<>(0);
    private static volatile boolean stopped;
    private static final List<Thread> threads = new ArrayList<>();
    private static Sent[] sent = new Sent[0];

    /** Starts the sender threads for that many slots; they skip a slot until it has a target. */
    public static synchronized void start(int threadCount, int slotCount) {
        stopped = false;
        targets = new AtomicReferenceArray<>(slotCount);
        sent = new Sent[threadCount];
        for (int i = 0; i < threadCount; i++) {
            Sent record = new Sent();
            sent[i] = record;
            int index = i;
            Thread thread = new Thread(() -> send(index, record), "storm sender " + i);
            thread.setDaemon(true);
            threads.add(thread);
            thread.start();
        }
    }

    private static void send(int thread, Sent record) {
        AtomicReferenceArray<Target> slots = targets;
        int sequence = 0;
        for (int turn = thread; !stopped; turn++) {
            Target current = slots.get(turn % slots.length());
            if (current == null) {
                Thread.yield();
                continue;
            }
            String barcode = "g" + current.generation + "t" + thread + "s" + sequence;
            boolean aliveBefore = current.alive;
            current.peer.SendBarcode(current.recorder, barcode);
            if (aliveBefore && current.alive) {
                record.mustArrive(current.generation, sequence);
            }
            record.total++;
            sequence++;
        }
    }

    /** Aims the senders' turns at a slot at the peer of a component whose Init has returned. */
    public static void aim(int slot, MobileBarcodeScanner peer, int generation) {
        targets.set(slot, new Target(peer, generation));
    }

    /** Marks a slot's target dead; the host calls DestroyObject right after. */
    public static void retire(int slot) {
        Target current = targets.get(slot);
        if (current != null) {
            current.alive = false;
        }
    }

    /** Stops the senders and waits for them. */
    public static void stop() throws InterruptedException {
        stopped = true;
        List<Thread> stopping;
        synchronized (BarcodeStorm.class) {
            stopping = new ArrayList<>(threads);
            threads.clear();
        }
        for (Thread thread : stopping) {
            thread.join();
        }
    }

    /** After stop: the barcodes of one thread that must have arrived. */
    public static synchronized long[] mustArrive(int thread) {
        return Arrays.copyOf(sent[thread].mustArrive, sent[thread].mustArriveCount);
    }

    /** After stop: how many barcodes one thread sent in all. */
    public static synchronized long sentCount(int thread) {
        return sent[thread].total;
    }
}
