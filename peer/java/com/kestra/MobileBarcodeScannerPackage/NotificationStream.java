package com.kestra.MobileBarcodeScannerPackage;

import java.io.IOException;
import java.util.ArrayDeque;

/**
 * The link to a scanner over Bluetooth LE as one byte stream: the payloads of its notifications,
 * queued in the order they came and read across their bounds, so that a barcode split over
 * several notifications, or a notification holding the end of one barcode and the start of the
 * next, reaches the framing exactly as a serial scanner's bytes do.
 *
 * With TIO flow control the stream also keeps the scanner's credits: each notification uses one,
 * and the reader grants it more (writeCredits) once half are used and the notifications they paid
 * for are read, so that a slow reader slows the scanner down instead of losing its bytes.
 *
 * The link's callbacks come on threads of their own: they record what happened under `lock` and
 * never block. The link subclass holds `lock` for its own state too.
 */
abstract class NotificationStream extends SourceStream {
    /** The MTU asked for: 244 bytes of payload, what one LE data packet with length extension carries. */
    static final int MTU_WANTED = 247;
    /** TIO: credits the scanner holds at most; each lets it send one notification. */
    static final int TIO_CREDITS = 64;
    static final int STATUS_SUCCESS = 0;

    final Object lock = new Object();

    // Under lock.
    boolean closed;
    int lostStatus = -1; // the status the link dropped with; -1 while it has not
    private final ArrayDeque<byte[]> received = new ArrayDeque<byte[]>();
    private int takenOfFirst; // bytes of received.peekFirst() already read
    private boolean credited; // TIO: the scanner sends only what it has credits for
    private int creditsLeft; // TIO: credits the scanner has not used yet
    private boolean grantInFlight; // TIO: a grant written and not yet answered
    private int grantWritten; // TIO: the credits of that grant
    private boolean noticeWaiting; // a notice for the reader came while it waited

    /**
     * Starts writing a grant of credits to the scanner, outside the lock; false when it could not
     * be started (it is tried again at the next read). Its answer comes to grantAnswered.
     */
    abstract boolean writeCredits(int count) throws IOException;

    /** Under lock: the scanner sends one notification per TIO credit from now on. */
    final void countCredits() {
        credited = true;
    }

    /** Under lock: the first grant of TIO credits, which the caller writes. */
    final int firstGrant() {
        creditsLeft += TIO_CREDITS;
        grantInFlight = true;
        grantWritten = TIO_CREDITS;
        return TIO_CREDITS;
    }

    /** Under lock: a notification's payload, which the caller may not change afterwards. */
    final void notified(byte[] value) {
        if (closed || value == null) {
            return;
        }
        if (credited) {
            creditsLeft--;
        }
        if (value.length > 0) {
            received.addLast(value);
            lock.notifyAll();
        }
    }

    /** Under lock: the answer to a grant of credits. */
    final void grantAnswered(int status) {
        if (grantInFlight && status != STATUS_SUCCESS) {
            creditsLeft -= grantWritten; // not granted: tried again at the next read
            notice("the scanner refused a grant of " + grantWritten + " TIO credits (status " + status
                    + "); it is granted again");
            noticeWaiting = true;
        }
        grantInFlight = false;
        lock.notifyAll();
    }

    /** Under lock: the link dropped; the reader reads what came before, then ends. */
    final void lost(int status) {
        lostStatus = status;
        lock.notifyAll();
    }

    /** Ends a blocked read and every later one; true the first time. */
    final boolean markClosed() {
        synchronized (lock) {
            boolean first = !closed;
            closed = true;
            lock.notifyAll();
            return first;
        }
    }

    @Override
    int read(byte[] buffer) throws IOException {
        while (true) {
            int count;
            int grant;
            synchronized (lock) {
                if (stopped()) {
                    return 0;
                }
                if (closed) {
                    throw new IOException("the Bluetooth LE link was closed");
                }
                count = take(buffer);
                grant = creditsToGrant();
                if (count == 0 && grant == 0) {
                    if (lostStatus >= 0) {
                        throw new IOException("the Bluetooth LE link was lost: " + describe(lostStatus));
                    }
                    if (noticeWaiting) {
                        noticeWaiting = false;
                        return 0; // the reader reports the notice, then reads on
                    }
                    waitForMore();
                    continue;
                }
            }
            if (grant > 0 && !writeCredits(grant)) {
                synchronized (lock) {
                    creditsLeft -= grant;
                    grantInFlight = false; // tried again at the next read
                }
            }
            if (count > 0) {
                return count;
            }
        }
    }

    @Override
    String endReason() {
        return "the scanner closed the Bluetooth LE link";
    }

    // Under lock.
    private void waitForMore() throws IOException {
        try {
            lock.wait();
        } catch (InterruptedException e) {
            throw new IOException("interrupted");
        }
    }

    // Under lock: copies queued bytes into the buffer and returns their count.
    private int take(byte[] buffer) {
        int count = 0;
        while (count < buffer.length && !received.isEmpty()) {
            byte[] first = received.peekFirst();
            int length = Math.min(buffer.length - count, first.length - takenOfFirst);
            System.arraycopy(first, takenOfFirst, buffer, count, length);
            count += length;
            takenOfFirst += length;
            if (takenOfFirst == first.length) {
                received.removeFirst();
                takenOfFirst = 0;
            }
        }
        return count;
    }

    // Under lock: TIO credits to grant now. The scanner is topped up once half its credits are
    // used and the notifications they paid for are read.
    private int creditsToGrant() {
        if (!credited || grantInFlight || creditsLeft > TIO_CREDITS / 2 || !received.isEmpty()) {
            return 0;
        }
        int grant = TIO_CREDITS - creditsLeft;
        creditsLeft += grant;
        grantInFlight = true;
        grantWritten = grant;
        return grant;
    }

    /** A link's status code in words. */
    static String describe(int status) {
        switch (status) {
            case 8:
                return "the scanner stopped answering (supervision timeout): it went out of range or was switched"
                        + " off";
            case 19:
                return "the scanner ended the connection";
            case 22:
                return "the phone ended the connection";
            case 133:
                return "the connection failed (status 133): the scanner is switched off, out of range or connected"
                        + " to another phone";
            default:
                return "status " + status;
        }
    }
}
