// normal
