// rnschange
