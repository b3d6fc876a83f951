package com.kestra.MobileBarcodeScannerPackage;

import java.io.IOException;

/**
 * The thread of one open device, and the one place that keeps a device connected, the same for
 * every transport (a transport only connects once, reads bytes and closes). It reads the link,
 * frames the bytes into barcodes and hands each on. When the link drops it reports why (and any
 * fragment it dropped) and connects again by itself for as long as the device stays open: the
 * first attempt at once, then after waits that double from the device's retry-ms up to its
 * retry-cap-ms. While it waits it also accepts the scanner's own connection, where the transport
 * can listen for one. Its states:
 *
 *   connected --link drops--> waiting --time is up, or OpenDevice asks--> connecting
 *   connecting --fails--> waiting;  connecting or waiting --a link is up--> connected
 *   any --stopReading--> stopped
 *
 * Anything else that goes wrong on this thread (an uncaught exception would end the app on
 * Android: a barcode the library cannot take, a transport that throws what it should not) ends
 * the reader with its reason and closes the link; the device then counts as closed.
 *
 * stopReading makes it hand nothing on any more and releases the link at once; awaitEnd then waits
 * for the thread, unless called on the thread itself (a host that closes the device from its
 * barcode handler), which must never wait for itself, or while the thread is inside a connect,
 * which may take the transport's whole deadline: a link that connect returns after stopReading is
 * closed at once and nothing is read from it.
 */
final class BarcodeReader extends Thread {
    interface Listener {
        /** One barcode, on the reader's thread. */
        void barcode(ScannerDevice device, String barcode);

        /** A line over the limit was refused; the reader goes on. */
        void refused(ScannerDevice device, long bytes);

        /** The link gave notice of something that does not end it; the reader goes on. */
        void notice(ScannerDevice device, String text);

        /** The link dropped; reconnection begins. */
        void lost(ScannerDevice device, String reason);

        /** Where reconnection stands, in words, after each attempt that failed. */
        void reconnecting(ScannerDevice device, String status);

        /** The link is up again; how, in words. */
        void reconnected(ScannerDevice device, String how);

        /** Reading failed for good; the reader ends after this returns. */
        void ended(ScannerDevice device, String reason);
    }

    private final ScannerDevice device;
    private final ScannerOptions options;
    private final Listener listener;
    private final LineFramer framer;
    private final int idleGapMillis; // 0 under line framing

    private final Object state = new Object(); // guards the fields below; never held while calling out
    private SourceStream stream; // the link now; null while down
    private ScannerDevice.Incoming incoming; // listening for the scanner while the link is down
    private boolean stopping;
    private boolean connecting; // inside device.connect()
    private boolean attemptNow; // OpenDevice or TestDevice asks for an attempt without waiting
    private int attemptsStarted; // counts attempts, for connectNow
    private int attemptsEnded;
    private boolean ended; // the thread has ended or is ending

    BarcodeReader(ScannerDevice device, ScannerOptions options, SourceStream stream, Listener listener) {
        super("scanner " + device.address);
        setDaemon(true);
        this.device = device;
        this.options = options;
        this.listener = listener;
        this.idleGapMillis = options.idleGapMillis();
        this.framer = new LineFramer(options.codePage(), idleGapMillis > 0);
        this.stream = timed(stream);
    }

    ScannerDevice device() {
        return device;
    }

    // Every link of the device, the first and each reconnected one, takes the device's options.
    // Idle-gap framing waits for bytes with a time limit, which a link's own read cannot.
    private SourceStream timed(SourceStream link) {
        link.useOptions(options);
        return idleGapMillis > 0 ? new TimedStream(link, "scanner link " + device.address) : link;
    }

    @Override
    public void run() {
        String why = null;
        try {
            for (SourceStream link = currentLink(); link != null; link = reconnect()) {
                String reason = read(link);
                link.close();
                if (reason == null) {
                    break; // stopped
                }
                lost(reason);
            }
        } catch (Throwable e) {
            // From the transport or from handing a barcode on (a native that is not bound, an
            // exception the host left pending): the device counts as closed, never the app.
            why = "reading stopped on an unexpected error: " + e;
        } finally {
            SourceStream left;
            ScannerDevice.Incoming listening;
            boolean stopped;
            synchronized (state) {
                ended = true;
                connecting = false;
                left = stream;
                stream = null;
                listening = incoming;
                incoming = null;
                stopped = stopping;
                state.notifyAll();
            }
            if (left != null) {
                left.close();
            }
            if (listening != null) {
                listening.close();
            }
            if (why != null && !stopped) {
                framer.finish(null);
                try {
                    listener.ended(device, why);
                } catch (Throwable e) {
                    // The thread ends anyway.
                }
            }
        }
    }

    private SourceStream currentLink() {
        synchronized (state) {
            return stopping ? null : stream;
        }
    }

    // Reads the link until it drops (returns why) or the reader is stopped (returns null).
    private String read(SourceStream link) throws IOException {
        final LineFramer.Sink sink = new LineFramer.Sink() {
            @Override
            public void line(String barcode) {
                // After stopReading nothing more is handed on: the device is being closed, and
                // the host may release its side right after CloseDevice returns.
                if (!stopped()) {
                    listener.barcode(device, barcode);
                }
            }

            @Override
            public void refused(long bytes) {
                if (!stopped()) {
                    listener.refused(device, bytes);
                }
            }
        };
        byte[] buffer = new byte[8192];
        String reason;
        try {
            while (true) {
                if (stopped()) {
                    return null;
                }
                int count = framer.awaitingGap() ? ((TimedStream) link).readWithin(buffer, idleGapMillis)
                                                 : link.read(buffer);
                String notice = link.takeNotice();
                if (notice != null && !stopped()) {
                    listener.notice(device, notice);
                }
                if (count < 0) {
                    reason = link.endReason();
                    break;
                }
                if (count == 0 && framer.awaitingGap() && !stopped()) {
                    framer.gapElapsed(sink);
                }
                framer.feed(buffer, count, sink);
            }
        } catch (IOException e) {
            if (stopped()) {
                return null;
            }
            reason = e.getMessage();
        }
        long fragment = framer.finish(sink);
        if (fragment > 0) {
            reason += "; the " + fragment + " bytes received after the last line end were no whole barcode"
                    + " and were dropped";
        }
        return reason;
    }

    private void lost(String reason) {
        synchronized (state) {
            stream = null;
            if (stopping) {
                return;
            }
        }
        listener.lost(device, reason);
    }

    // Connects again: returns the new link, or null once the reader is stopped.
    private SourceStream reconnect() {
        long wait = 0; // the first attempt at once
        for (int attempt = 1;; attempt++) {
            SourceStream link = waitOrAccept(wait);
            String how = "the scanner connected to the phone";
            if (link == null) {
                synchronized (state) {
                    if (stopping) {
                        return null;
                    }
                    connecting = true;
                    attemptNow = false;
                    attemptsStarted++;
                }
                String failure = null;
                try {
                    link = device.connect();
                } catch (IOException e) {
                    failure = e.getMessage();
                }
                if (link == null) {
                    // The status is said before the attempt counts as ended: connectNow answers
                    // with it.
                    wait = Math.min(attempt == 1 ? options.retryMillis() : wait * 2, options.retryCapMillis());
                    if (!stopped()) {
                        listener.reconnecting(device, "reconnecting to " + device.label() + ": attempt " + attempt
                                + " failed (" + failure + "), next in " + seconds(wait));
                    }
                    synchronized (state) {
                        connecting = false;
                        attemptsEnded++;
                        state.notifyAll();
                    }
                    continue;
                }
                how = "attempt " + attempt + " connected";
            }
            stopListening(); // while the link is up, the phone does not listen
            // The link is up, and the attempt ends, in one step: connectNow then sees both.
            SourceStream up = stopped() ? link : timed(link);
            boolean kept;
            synchronized (state) {
                connecting = false;
                attemptsEnded++;
                kept = !stopping;
                if (kept) {
                    stream = up;
                }
                state.notifyAll();
            }
            if (!kept) {
                up.close(); // connected after CloseDevice: released at once
                return null;
            }
            listener.reconnected(device, how);
            return up;
        }
    }

    // Waits `millis` (less when asked for an attempt now, or stopped), accepting the scanner's
    // own connection meanwhile where the transport can listen; returns that link, or null.
    private SourceStream waitOrAccept(long millis) {
        long deadline = System.nanoTime() + millis * 1000000L;
        ScannerDevice.Incoming listening = startListening(millis);
        while (true) {
            long left = (deadline - System.nanoTime()) / 1000000L;
            synchronized (state) {
                if (stopping || attemptNow || left <= 0) {
                    return null;
                }
                if (listening == null || incoming == null) {
                    try {
                        state.wait(left);
                    } catch (InterruptedException e) {
                        // Nobody but stopReading has reason to wake this thread; look again.
                    }
                    continue;
                }
            }
            // In short slices, so that an attempt asked for now starts soon.
            SourceStream link;
            try {
                link = listening.accept((int) Math.min(left, 200));
            } catch (IOException e) {
                stopListening(); // the wait goes on without listening
                listening = null;
                continue;
            }
            if (link != null) {
                stopListening();
                return link;
            }
        }
    }

    private ScannerDevice.Incoming startListening(long millis) {
        synchronized (state) {
            if (incoming != null || millis == 0 || stopping) {
                return incoming;
            }
        }
        ScannerDevice.Incoming listening;
        try {
            listening = device.listen();
        } catch (IOException e) {
            listening = null; // the wait goes on without listening
        }
        if (listening == null) {
            return null;
        }
        synchronized (state) {
            if (!stopping) {
                incoming = listening;
                return listening;
            }
        }
        listening.close();
        return null;
    }

    private void stopListening() {
        ScannerDevice.Incoming listening;
        synchronized (state) {
            listening = incoming;
            incoming = null;
        }
        if (listening != null) {
            listening.close();
        }
    }

    private static String seconds(long millis) {
        return millis % 1000 == 0 ? millis / 1000 + " s"
                                  : String.format(java.util.Locale.ROOT, "%.1f s", millis / 1000.0);
    }

    private boolean stopped() {
        synchronized (state) {
            return stopping;
        }
    }

    /** True while the link is up, until stopReading is called or the reader ends. */
    boolean reading() {
        synchronized (state) {
            return stream != null && !stopping && !ended;
        }
    }

    /** True until stopReading is called or the reader ends: the device is open, connected or not. */
    boolean open() {
        synchronized (state) {
            return !stopping && !ended;
        }
    }

    /**
     * While the link is down: asks for an attempt now, without the wait, and waits for it (at
     * most waitMillis); true when the link is up. Never starts a link of its own. Must be called
     * without the peer's lock (the reader's handler may need it) and never on the reader's own
     * thread, which is connected whenever it hands a barcode on.
     */
    boolean connectNow(long waitMillis) {
        long deadline = System.nanoTime() + waitMillis * 1000000L;
        synchronized (state) {
            if (Thread.currentThread() == this || stream != null || stopping || ended) {
                return stream != null && !stopping && !ended;
            }
            // An attempt under way may have begun before the scanner was back: wait for the next.
            int wanted = attemptsStarted + 1;
            attemptNow = true;
            state.notifyAll();
            for (long left = waitMillis; attemptsEnded < wanted && stream == null && !stopping && !ended && left > 0;
                    left = (deadline - System.nanoTime()) / 1000000L) {
                try {
                    state.wait(left);
                } catch (InterruptedException e) {
                    break; // the interrupt was for this wait alone
                }
            }
            return stream != null && !stopping && !ended;
        }
    }

    /**
     * From now on nothing is handed on, a reconnection ends, and the link is released; the thread
     * ends soon after. Never blocks, so it may be called under a lock and on the reader's own
     * thread.
     */
    void stopReading() {
        SourceStream link;
        ScannerDevice.Incoming listening;
        boolean inConnect;
        synchronized (state) {
            stopping = true;
            link = stream;
            listening = incoming;
            incoming = null;
            inConnect = connecting;
            state.notifyAll();
        }
        if (inConnect) {
            device.abandonConnect(); // a transport that can ends the attempt now
        }
        if (link != null) {
            link.stop();
        }
        if (listening != null) {
            listening.close();
        }
    }

    /**
     * Waits until the thread has ended, unless this is that thread or it is inside a connect (see
     * the class comment). Holds no lock of its own: the caller must hold none that the thread's
     * listener may need. An interrupt ends the wait (the reader hands nothing on any more all the
     * same) and is not kept.
     */
    void awaitEnd() {
        synchronized (state) {
            if (connecting) {
                return;
            }
        }
        if (Thread.currentThread() == this || Thread.interrupted()) {
            return;
        }
        try {
            join();
        } catch (InterruptedException e) {
            // The interrupt was for this wait alone.
        }
    }
}
