package android.app;

/** Stand-in for the Android framework's activity: the peer only receives it. */
public class Activity {}
