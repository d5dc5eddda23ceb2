// notify
