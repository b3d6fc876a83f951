package com.kestra.androidtest;

import android.app.Activity;

/**
 * The app around the driver, as the shrinker sees it: an activity the app's own rules keep.
 * Like a real app it never names the scanner peer; only the native library reaches it.
 */
public class ScanningActivity extends Activity {
}
