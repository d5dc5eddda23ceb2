// rnscheck
