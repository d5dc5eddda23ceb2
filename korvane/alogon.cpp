// alogon
