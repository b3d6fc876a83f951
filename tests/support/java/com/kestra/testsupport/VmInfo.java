package com.kestra.testsupport;

import java.lang.management.ManagementFactory;
import java.lang.ref.WeakReference;

/** Facts about the running VM for the tests. */
public final class VmInfo {
    private VmInfo() {}

    public static int threadCount() {
        return ManagementFactory.getThreadMXBean().getThreadCount();
    }

    /** Collects until a fresh weakly reachable object is gone, so weak references are cleared. */
    public static void collectGarbage() {
        WeakReference<Object> probe = new WeakReference<>(new Object());
        for (int i = 0; i < 20 && probe.get() != null; i++) {
            System.gc();
            try {
                Thread.sleep(10);
            } catch (InterruptedException e) {
                Thread.currentThread().interrupt();
                return;
            }
        }
        System.gc();
    }
}
