package com.kestra.bench;

/** Loads the library the way an app does: System.load from a static initializer. */
public final class LibraryUnderTest {
    static {
        System.load(System.getProperty("kestra.library"));
    }

    private LibraryUnderTest() {}

    /** Calling it runs the static initializer once. */
    public static void ensureLoaded() {}
}
