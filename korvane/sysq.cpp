// sysq
