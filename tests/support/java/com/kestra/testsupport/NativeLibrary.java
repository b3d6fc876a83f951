package com.kestra.testsupport;

/** Loads the library under test the way an app does: System.load from a static initializer. */
public final class NativeLibrary {
    static {
        System.load(System.getProperty("kestra.library"));
    }

    private NativeLibrary() {}

    /** Calling it runs the static initializer once. */
    public static void ensureLoaded() {}
}
