// ferun
