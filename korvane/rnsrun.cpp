// rnsrun
