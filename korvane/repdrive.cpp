// repdrive
